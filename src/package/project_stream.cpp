#include "package/project_stream.h"

#include <cctype>
#include <cstdlib>

#include "package/compile.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup {

namespace {
const char* const kWhat = msg::kWhatProjectStream;

bool IsBlank(char c) {
    auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

// A GBK double-byte character starts at text[i]: a lead byte and a valid
// trail byte. A lead byte before anything else (invalid text) is a byte of its
// own, so a quote or comma after it keeps its meaning.
bool IsGbkPair(const std::string& text, size_t i) {
    if (i + 1 >= text.size()) return false;
    auto lead = static_cast<unsigned char>(text[i]);
    auto trail = static_cast<unsigned char>(text[i + 1]);
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

// A decimal number: optional sign, digits with an optional fraction, an
// optional exponent. Nothing else, not even blanks.
bool ReadsAsNumber(const std::string& text, double& value) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != text.size()) return false;
    // The text is a plain decimal number by now; atof reads it as strtod
    // would, without the larger C99 reader on Windows.
    value = std::atof(text.c_str());
    return true;
}

int32_t ReadCount(Stream& stream) { return stream.ReadI32(kWhat); }

bool ReadFlag(Stream& stream) { return stream.ReadU8(kWhat) != 0; }

}  // namespace

std::string TElement::ReadString(Stream& stream) {
    int32_t length = stream.ReadI32(kWhat);
    if (length <= 0) return {};
    return stream.ReadBytes(static_cast<size_t>(length), kWhat);
}

void TElement::WriteString(Stream& stream, const std::string& text) {
    stream.WriteI32(static_cast<int32_t>(text.size()));
    stream.WriteBytes(text);
}

std::vector<std::string> ReadCommaText(const std::string& text) {
    std::vector<std::string> items;
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (IsGbkPair(text, i)) item.push_back(text[i++]);
                item.push_back(text[i++]);
            }
        } else {
            while (i < text.size() && text[i] != ',' && static_cast<unsigned char>(text[i]) > 32) {
                if (IsGbkPair(text, i)) item.push_back(text[i++]);
                item.push_back(text[i++]);
            }
        }
        items.push_back(std::move(item));
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i < text.size() && text[i] == ',') {
            ++i;
            if (i == text.size()) {
                items.emplace_back();  // a trailing comma adds one empty item
                break;
            }
            while (i < text.size() && IsBlank(text[i])) ++i;
        } else if (i < text.size()) {
            // A character that ends an unquoted item without a comma (a NUL, or
            // text after a closing quote): it starts the next item, stepped over
            // if it can start nothing, so the reader always moves on.
            if (text[i] == '\0') ++i;
        }
    }
    return items;
}

std::string WriteCommaText(const std::vector<std::string>& items) {
    std::string out;
    for (size_t n = 0; n < items.size(); ++n) {
        if (n) out.push_back(',');
        const std::string& item = items[n];
        // An empty item needs no quotes between commas, but a list of one
        // empty item would otherwise read back as no item at all.
        bool quote = item.empty() && items.size() == 1;
        for (size_t i = 0; i < item.size(); ++i) {
            char c = item[i];
            if (IsGbkPair(item, i)) {
                ++i;
                continue;
            }
            if (IsBlank(c) || c == '"' || c == ',' || c == '\0') quote = true;
        }
        if (!quote) {
            out += item;
            continue;
        }
        out.push_back('"');
        for (char c : item) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

bool StrToBool(const std::string& text) {
    double number;
    if (ReadsAsNumber(text, number)) return number != 0;
    if (EqualsNoCase(text, "True")) return true;
    if (EqualsNoCase(text, "False")) return false;
    ThrowConversionError(msg::NotABooleanValue(text));
}

void ParseProjectStream(Stream& stream, TCompile& model) {
    stream.Seek(0, SeekOrigin::Begin);
    TInstallData& data = model.InstallData;

    for (int32_t n = ReadCount(stream); n > 0; --n) {
        auto item = std::make_unique<TCompileData>();
        item->Key = TElement::ReadString(stream);
        item->Value = TElement::ReadString(stream);
        item->Group = stream.ReadU8(kWhat);
        const std::string& key = item->Key;
        const std::string& value = item->Value;
        TCompileData& kept = *item;
        model.InfoList.push_back(std::move(item));
        if (key == "项目名称") {
            model.ItemName = value;
        } else if (key == "作者名称") {
            model.Author = value;
        } else if (key == "版本号") {
            model.Version = value;
        } else if (key == "作者网址") {
            model.Url = value;
        } else if (key == "安装完成后，重启操作系统") {
            data.RebootOs = value;
        } else if (key == "Patch") {
            model.SetPatched(StrToBool(kept.Value));
        } else if (key == "安装完成后弹出信息提示") {
            data.HintMsg = value;
        } else if (key == "安装前弹出信息提示") {
            data.BeforeHintMsg = value;
        } else if (key == "安装完成后弹出网页链接") {
            data.WebHint = value;
        } else if (key == "安装完成后设置IE默认主页") {
            data.DefaultHtml = value;
        } else if (key == "卸载程序") {
            data.EnableUnIns = value;
        }
    }

    model.FileFolderList = ReadCommaText(TElement::ReadString(stream));

    for (int32_t n = ReadCount(stream); n > 0; --n) {
        auto f = std::make_unique<TCompileFileData>();
        f->Name = TElement::ReadString(stream);
        f->Source = TElement::ReadString(stream);
        f->TargetDir = TElement::ReadString(stream);
        f->RunAtStartup = ReadFlag(stream);
        f->KeepOnUninstall = ReadFlag(stream);
        f->NoOverwrite = ReadFlag(stream);
        f->IsComponent = ReadFlag(stream);
        f->IsService = ReadFlag(stream);
        f->RunAfterInstall = ReadFlag(stream);
        f->IsPatch = ReadFlag(stream);
        f->TargetOs = TElement::ReadString(stream);
        f->DataStart = stream.ReadI64(kWhat);
        f->DataEnd = stream.ReadI64(kWhat);
        f->FileSize = stream.ReadI64(kWhat);
        f->Kind = stream.ReadU8(kWhat);
        f->FileTime = stream.ReadDouble(kWhat);
        f->Reserved = stream.ReadU8(kWhat);
        model.FileList.push_back(std::move(f));
    }

    model.RegFolderList = ReadCommaText(TElement::ReadString(stream));

    for (int32_t n = ReadCount(stream); n > 0; --n) {
        auto r = std::make_unique<TRegInfoData>();
        r->Key = TElement::ReadString(stream);
        r->ValueName = TElement::ReadString(stream);
        r->Data = TElement::ReadString(stream);
        r->TargetOs = TElement::ReadString(stream);
        r->ValueType = stream.ReadU8(kWhat);
        model.RegList.push_back(std::move(r));
    }

    model.ShotCutFolderList = ReadCommaText(TElement::ReadString(stream));

    for (int32_t n = ReadCount(stream); n > 0; --n) {
        auto s = std::make_unique<TShotCutData>();
        s->Folder = TElement::ReadString(stream);
        s->Name = TElement::ReadString(stream);
        s->Target = TElement::ReadString(stream);
        s->IconFile = TElement::ReadString(stream);
        s->Arguments = TElement::ReadString(stream);
        s->Description = TElement::ReadString(stream);
        s->Kind = stream.ReadU8(kWhat);
        model.ShotCutList.push_back(std::move(s));
    }

    for (int32_t n = ReadCount(stream); n > 0; --n) {
        auto c = std::make_unique<TCompileCompData>();
        c->Name = TElement::ReadString(stream);
        c->Size = stream.ReadI64(kWhat);
        model.ComponentList.push_back(c->Name);
        model.CompList.push_back(std::move(c));
    }

    model.PackageId = TElement::ReadString(stream);
}

}  // namespace setup

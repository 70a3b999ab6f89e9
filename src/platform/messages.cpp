#include "platform/messages.h"

namespace setup::msg {

namespace {

std::string Q(const std::string& name) { return "“" + name + "”"; }

std::string N(int64_t number) { return std::to_string(number); }

// The sentence, then the reason after a colon when there is one.
std::string WithReason(const std::string& sentence, const std::string& reason) {
    return reason.empty() ? sentence : sentence + "：" + reason;
}

}  // namespace

// ---- streams ------------------------------------------------------------------

std::string UnexpectedEnd(const std::string& what, uint64_t count, int64_t offset, int64_t left) {
    return what + "意外结束：在偏移 " + N(offset) + " 处需要 " + std::to_string(count) + " 字节，只剩 " + N(left) +
           " 字节";
}

std::string UnexpectedEndAt(const std::string& what, int64_t offset) {
    return what + "在偏移 " + N(offset) + " 处意外结束";
}

std::string CannotSeekBeforeStart() { return "无法定位到数据流的开头之前"; }
std::string NegativeStreamSize() { return "内存流的大小不能是负数"; }
std::string CannotWriteReadOnlyStream() { return "无法写入只读的数据流"; }
std::string CannotResizeReadOnlyStream() { return "无法改变只读数据流的大小"; }

// ---- the program and its errors -----------------------------------------------

std::string NoActivePlatform() { return "程序还没有设置系统接口"; }
std::string OperationCancelled() { return "用户取消了这项操作"; }
std::string DataDoesNotInflate() { return "安装包中的数据无法解压，安装包可能已损坏或不完整"; }
std::string DataDoesNotCompress() { return "数据无法压缩"; }
std::string OutOfMemory() { return "内存不足"; }

// ---- command-line switches ----------------------------------------------------

std::string SwitchNeedsFullPath(const std::string& folder) {
    return "参数 /D= 需要文件夹的完整路径（例如 C:\\Apps\\Demo）：" + Q(folder);
}

std::string SwitchLogNamesNoFile() { return "参数 /LOG= 没有给出日志文件名"; }

std::string SwitchLogNeedsFullPath(const std::string& file) {
    return "参数 /LOG= 需要日志文件的完整路径（例如 C:\\Logs\\setup.log）：" + Q(file);
}

std::string OtherArgumentsCount(size_t count) { return "另有 " + std::to_string(count) + " 个其他参数"; }

// ---- files of the machine -----------------------------------------------------

std::string CannotOpenFile(const std::string& path, const std::string& reason) {
    return WithReason("无法打开文件" + Q(path), reason);
}

std::string CannotOpenFileForWriting(const std::string& path, const std::string& reason) {
    return WithReason("无法打开文件" + Q(path) + "进行写入", reason);
}

std::string CannotCreateFile(const std::string& path, const std::string& reason) {
    return WithReason("无法创建文件" + Q(path), reason);
}

std::string CannotReadFile(const std::string& path, const std::string& reason) {
    return WithReason("无法读取文件" + Q(path), reason);
}

std::string CannotWriteFile(const std::string& path, const std::string& reason) {
    return WithReason("无法写入文件" + Q(path), reason);
}

std::string CannotSeekInFile(const std::string& path, const std::string& reason) {
    return WithReason("无法在文件" + Q(path) + "中定位", reason);
}

std::string CannotReadFileSize(const std::string& path, const std::string& reason) {
    return WithReason("无法读取文件" + Q(path) + "的大小", reason);
}

std::string CannotSetFileSize(const std::string& path, const std::string& reason) {
    return WithReason("无法设置文件" + Q(path) + "的大小", reason);
}

std::string CannotMoveFile(const std::string& from, const std::string& to, const std::string& reason) {
    return WithReason("无法把文件" + Q(from) + "移动到" + Q(to), reason);
}

std::string CannotReadProgramPath(const std::string& reason) { return WithReason("无法读取程序自身的路径", reason); }

std::string ShellAutomationFailed(const std::string& operation, const std::string& reason) {
    return WithReason("Windows 外壳的自动化操作 " + operation + " 失败", reason);
}

std::string SystemErrorCode(uint32_t code) { return "系统错误 " + std::to_string(code) + "。"; }

std::string AccessDenied() { return "拒绝访问。"; }
std::string FileInUse() { return "另一个程序正在使用此文件，进程无法访问。"; }
std::string FileNotFound() { return "系统找不到指定的文件。"; }
std::string PathNotFound() { return "系统找不到指定的路径。"; }
std::string PathGoesThroughLink(const std::string& link) {
    return "路径中的 " + link + " 是链接（交接点或符号链接），文件不会写到它指向的位置。";
}
std::string FileExists() { return "文件已存在。"; }
std::string DiskFull() { return "磁盘空间不足。"; }
std::string NotSameDrive() { return "系统无法将文件移到不同的磁盘驱动器。"; }
std::string IsAFolder() { return "这是一个文件夹，不是文件。"; }
std::string NameTooLong() { return "文件名或扩展名太长。"; }
std::string PathNotGbk() { return "路径不是有效的 GBK 文本。"; }
std::string PathNotAbsolute() { return "路径不是带驱动器号的完整路径。"; }
std::string DriveMissing(const std::string& drive) { return "驱动器 " + drive + " 不存在。"; }

std::string NameNotAllowed(const std::string& name) { return "名称" + Q(name) + "含有 Windows 不允许的字符。"; }

// ---- text conversion ----------------------------------------------------------

std::string GbkToUtf16Conversion() { return "从 GBK 转换为 UTF-16"; }
std::string Utf16ToGbkConversion() { return "从 UTF-16 转换为 GBK"; }

std::string TextDoesNotConvert(const std::string& conversion) {
    return "文本无法" + conversion + "：其中有无法转换的字符";
}

std::string NoTextConverter(const std::string& conversion) { return "无法" + conversion + "：系统没有所需的转换程序"; }

// ---- the package reader -------------------------------------------------------

std::string ChunkLengthPastEnd(const std::string& what, int64_t offset) {
    return what + "已损坏：偏移 " + N(offset) + " 处的数据块长度超出了末尾";
}

std::string ChunkLongerThanRest(const std::string& what, int64_t offset, uint64_t length, int64_t remaining) {
    return what + "已损坏：偏移 " + N(offset) + " 处的数据块声称有 " + std::to_string(length) + " 字节，只剩 " +
           N(remaining) + " 字节";
}

std::string ChunkInflatesPastTotal(const std::string& what, int64_t offset, int64_t total) {
    return what + "已损坏：偏移 " + N(offset) + " 处的数据块解压后超出了总共应有的 " + N(total) + " 字节";
}

std::string BlockInflatesPastLimit(uint64_t limit) {
    return "压缩数据块解压后超出了它最多可有的 " + std::to_string(limit) + " 字节";
}

std::string SecurityDirectoryLies(const std::string& problem) { return "安装包已损坏：程序的安全目录" + problem; }
std::string CertificateTableEmpty() { return "指向一个空的证书表"; }
std::string CertificateTableInHeaders() { return "指向程序头部之内的证书表"; }

std::string CertificateTablePastEnd(int64_t offset, int64_t length, int64_t fileSize) {
    return "指向偏移 " + N(offset) + " 处、长 " + N(length) + " 字节的证书表，超出了文件末尾（文件共 " + N(fileSize) +
           " 字节）";
}

std::string CertificateEntryCutShort() { return "指向的证书表的最后一项不完整"; }

std::string CertificateEntryClaims(int64_t offset, int64_t length) {
    return "指向的证书表在偏移 " + N(offset) + " 处的项声称有 " + N(length) + " 字节";
}

std::string CertificateEntryNoCertificate(int64_t offset) {
    return "指向的证书表在偏移 " + N(offset) + " 处的项不是证书";
}

std::string NoTailBeforeCertificates(int64_t offset) {
    return "安装包已损坏：已签名程序中偏移 " + N(offset) + " 处的证书表之前没有安装包尾部";
}

std::string DataPastCertificates(int64_t tableEnd, int64_t count) {
    return "安装包已损坏：已签名程序的证书表在偏移 " + N(tableEnd) + " 处结束，其后还有 " + N(count) +
           " 字节，不在签名范围之内";
}

std::string ItemDataPastSignature(const std::string& source, int64_t dataEnd, int64_t signedEnd) {
    return "安装包已损坏：" + Q(source) + "的数据到偏移 " + N(dataEnd) + " 处才结束，超出了签名范围（到偏移 " +
           N(signedEnd) + " 处为止）";
}

std::string PackageIdNotGuid(const std::string& id) { return "安装包已损坏：安装包标识" + Q(id) + "不是 GUID"; }

std::string FileTooShortForTail(const std::string& name) {
    return "安装包已损坏：" + Q(name) + "太短，容纳不下安装包尾部";
}

std::string PackageFileNotOpen() { return "没有打开安装包文件：安装包尚未加载"; }

std::string RecordTooLarge(const std::string& path, int64_t size, int64_t most) {
    return "卸载记录已损坏：" + Q(path) + "有 " + N(size) + " 字节，超过了卸载记录的上限 " + N(most) + " 字节";
}

std::string ProjectOffsetOutside(int64_t offset) {
    return "安装包已损坏：安装包尾部中的项目偏移 " + N(offset) + " 没有指向文件中的项目";
}

std::string ProjectStreamDoesNotInflate() { return "安装包已损坏：安装包的项目流无法解压"; }

std::string ItemDataDoesNotInflate(const std::string& source) {
    return "安装包已损坏：" + Q(source) + "的数据无法解压";
}

std::string ItemInflatesToOtherSize(const std::string& source, int64_t inflated, int64_t expected) {
    return "安装包已损坏：" + Q(source) + "的数据解压后是 " + N(inflated) + " 字节，应为 " + N(expected) + " 字节";
}

std::string TailPromisesOtherSize(int64_t promised, int64_t held) {
    return "安装包已损坏：安装包尾部说文件共有 " + N(promised) + " 字节，而各项目共有 " + N(held) + " 字节";
}

std::string ItemDataOutside(int64_t start, int64_t end, int64_t size) {
    return "安装包已损坏：从 " + N(start) + " 到 " + N(end) + " 的项目数据不在文件的 " + N(size) + " 字节之内";
}

std::string NotABooleanValue(const std::string& text) { return "'" + text + "' is not a valid boolean value"; }

// ---- installing ---------------------------------------------------------------

std::string CannotCreateFolder(const std::string& folder) { return "无法创建文件夹" + Q(folder); }
std::string FileDataDoesNotInflate() { return "安装包已损坏：这个文件的数据无法解压"; }
std::string CannotCreateRegistryKey() { return "无法创建注册表项"; }
std::string CannotOpenOrCreateRegistryKey() { return "无法打开或创建注册表项"; }
std::string CannotWriteRegistryValue() { return "无法写入注册表值"; }
std::string CannotSaveShortcut() { return "无法保存快捷方式"; }
std::string CannotSaveInternetShortcut() { return "无法保存 Internet 快捷方式"; }
std::string CannotStartRegistration() { return "无法启动组件的注册程序（regsvr32）"; }
std::string CannotStartServiceInstall() { return "无法启动服务程序来安装服务"; }
std::string CannotWriteAutoRun() { return "无法在注册表的 Run 键中写入自动运行项"; }
std::string ProgramNotStartedElevationRefused() { return "程序没有启动：用户拒绝了权限提升"; }
std::string CannotStartProgram() { return "无法启动该程序"; }

std::string CannotStartComponentInstaller(const std::string& program) { return "无法启动组件的安装程序" + Q(program); }

std::string CannotCopyComponentFile(const std::string& file, const std::string& component) {
    return "无法复制组件" + Q(component) + "的文件" + Q(file);
}

std::string ComponentDestinationRefused(const std::string& file, const std::string& component) {
    return "组件" + Q(component) + "的文件" + Q(file) + "的目标位置含有“..”、驱动器或根目录，未复制";
}

std::string CannotCreateTempFolder(const std::string& folder) {
    return "无法新建临时文件夹" + Q(folder) + "：该名称已存在或无法创建";
}

std::string RegistrationElevationRefused(const std::string& path) {
    return "无法注册组件" + Q(path) + "：用户拒绝了权限提升";
}

std::string CannotKeepCopyOfFile(const std::string& path) { return "无法保留文件" + Q(path) + "的副本"; }

std::string CannotWriteUninstallValue(const std::string& name) { return "无法写入卸载信息的注册表值" + Q(name); }

// ---- the changes a rollback could not undo ------------------------------------

std::string JournalEntryDamaged() { return "安装进度记录中有无法识别的内容。"; }
std::string JournalDamaged(const std::string& path) {
    return "安装进度记录“" + path + "”已损坏，没有按它撤销任何更改。";
}
std::string UnfinishedRunUndone() { return "上次未完成的安装已撤销。"; }
std::string UnfinishedRunCompleted() { return "上次已完成的安装已清理完毕。"; }
std::string ReplacedAtRestart() { return "文件正在使用，将在重新启动 Windows 后替换"; }
std::string RestartNeededToFinish() { return "需要重新启动 Windows 才能完成安装。"; }

std::string UndoneFolderCreated(const std::string& path) { return "新建的文件夹 " + path; }
std::string UndoneFileCreated(const std::string& path) { return "新建的文件 " + path; }

std::string UndoneFileReplaced(const std::string& path, const std::string& backup) {
    return "被替换或删除的文件 " + path + "（原文件保存为 " + backup + "）";
}

std::string UndoneFileMoved(const std::string& path, const std::string& movedTo) {
    return "被移动的文件 " + path + "（现在位于 " + movedTo + "）";
}

std::string UndoneAttributesChanged(const std::string& path) { return "更改了属性的文件 " + path; }
std::string UndoneFileTimeChanged(const std::string& path) { return "更改了时间的文件 " + path; }
std::string UndoneKeyCreated(const std::string& key) { return "新建的注册表项 " + key; }
std::string UndoneValueWritten(const std::string& valuePath) { return "写入的注册表值 " + valuePath; }
std::string UndoneKeyDeleted(const std::string& key) { return "删除的注册表项 " + key; }

// ---- items a package holds that would harm the machine -----------------------

std::string LeftOutFile() {
    return "安装包中此项的目标位置会超出它所属的文件夹，或名称是 Windows 不允许的，为保护计算机没有安装";
}
std::string LeftOutRegistry() { return "安装包中此项不在五个注册表根键之下，或文字编码无效，没有写入"; }
std::string LeftOutShortcut() {
    return "安装包中此快捷方式的位置或名称会超出它所属的文件夹，或是 Windows 不允许的，为保护计算机没有创建";
}
std::string LeftOutComponent() { return "安装包中此组件的名称是 Windows 不允许的，没有安装"; }

std::string StartFolderInvalid(const std::string& folder, const std::string& problem) {
    return "开始菜单文件夹" + Q(folder) + "无效：" + problem;
}
std::string StartFolderNoLinks(const std::string& problem) {
    return "开始菜单文件夹无效，没有创建开始菜单中的快捷方式：" + problem;
}

// ---- the uninstaller --------------------------------------------------------

namespace {
std::string MoreItems(size_t more) { return more == 0 ? "" : "\r\n……另有 " + std::to_string(more) + " 项"; }
}  // namespace

std::string RecordMissing() { return "安装日志文件不存在,卸载程序无法正常工作，程序将退出系统。"; }
std::string RecordDamaged(const std::string& error) {
    return "安装日志文件已损坏，卸载程序无法正常工作，程序将退出系统。\r\n\r\n" + error;
}
std::string RecordEdited() {
    return "安装日志文件与安装时保存的不一致，可能已被修改。为安全起见，卸载程序不会删除任何内容，程序将退出系统。";
}
std::string UninstallEndedByError(const std::string& error) { return "卸载程序因错误而终止。\r\n\r\n" + error; }
std::string UninstallSucceeded(const std::string& product) { return Q(product) + "卸载成功！"; }
std::string UninstallIncomplete(const std::string& product, const std::string& listed, size_t more) {
    return Q(product) + "未能完全卸载，以下项目无法删除（可能正在使用）：\r\n" + listed + MoreItems(more) +
           "\r\n\r\n请关闭正在运行的程序，然后再次运行卸载程序。";
}
std::string UninstallUnvouched(const std::string& product, const std::string& listed, size_t more) {
    return Q(product) +
           "的安装日志没有校验信息（由早期版本的安装程序保存），为安全起见，卸载程序只删除了安装文件夹中的内容和程序的"
           "快捷方式。以下项目没有删除，请自行检查：\r\n" +
           listed + MoreItems(more);
}
std::string UninstallFailedValue(const std::string& valuePath) { return "注册表值 " + valuePath; }
std::string UninstallFailedKey(const std::string& key) { return "注册表项 " + key; }
std::string UninstallFailedFile(const std::string& path) { return "文件 " + path; }
std::string UninstallFailedFolder(const std::string& path) { return "文件夹 " + path; }
std::string UninstallBehindLink(const std::string& item, const std::string& link) {
    return item + "（" + link + " 是链接，没有跟随）";
}
std::string UninstallSkippedRegistry(const std::string& path) { return "注册表 " + path; }

}  // namespace setup::msg

// What each deflater level and chunk size makes of a payload: the bytes its
// chunks take in a package (length fields included) and the compression speed
// of one thread per second of processor time. Files are cut into chunks as the package writer cuts them.
//   build/linux/bin/level_bench [--levels 1,6,9,12] [--chunks 65536,3145728] FOLDER...
#include <libdeflate.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<size_t> Numbers(const std::string& text) {
    std::vector<size_t> numbers;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        numbers.push_back(std::stoul(text.substr(start, end - start)));
        start = end + 1;
    }
    return numbers;
}

std::vector<std::string> ReadTree(const std::string& root) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

struct Result {
    size_t bytes = 0;
    double seconds = 0;
};

Result Measure(const std::vector<std::string>& files, int level, size_t chunk) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    std::string out;
    Result result;
    // Processor time, not elapsed time: the machine may be busy with others.
    std::clock_t start = std::clock();
    for (const std::string& file : files) {
        for (size_t at = 0; at < file.size(); at += chunk) {
            size_t n = std::min(chunk, file.size() - at);
            out.resize(libdeflate_zlib_compress_bound(compressor, n));
            result.bytes += 4 + libdeflate_zlib_compress(compressor, file.data() + at, n, out.data(), out.size());
        }
    }
    result.seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    libdeflate_free_compressor(compressor);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<size_t> levels = {1, 6, 9, 12};
    std::vector<size_t> chunks = {3145728};
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--levels" && i + 1 < argc) {
            levels = Numbers(argv[++i]);
        } else if (a == "--chunks" && i + 1 < argc) {
            chunks = Numbers(argv[++i]);
        } else {
            roots.push_back(a);
        }
    }
    if (roots.empty()) {
        std::fprintf(stderr, "usage: level_bench [--levels 1,6,9,12] [--chunks 65536,3145728] FOLDER...\n");
        return 2;
    }
    std::printf("| payload | files | MiB | level | chunk | chunks' bytes | ratio | MiB/s of processor time |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const std::string& root : roots) {
        std::vector<std::string> files = ReadTree(root);
        size_t total = 0;
        for (const std::string& f : files) total += f.size();
        for (size_t chunk : chunks) {
            for (size_t level : levels) {
                Result r = Measure(files, static_cast<int>(level), chunk);
                std::printf("| %s | %zu | %.1f | %zu | %zu | %zu | %.4f | %.1f |\n", fs::path(root).filename().c_str(),
                            files.size(), total / 1048576.0, level, chunk, r.bytes,
                            total ? static_cast<double>(r.bytes) / static_cast<double>(total) : 0.0,
                            r.seconds > 0 ? total / 1048576.0 / r.seconds : 0.0);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}

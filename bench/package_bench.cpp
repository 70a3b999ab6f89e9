// Package reading speed: parsing a project of 10,000 file items, and reading
// item data chunk by chunk (memory stays at about one chunk and its output).
//   build/linux/bench/package_bench
#include <benchmark/benchmark.h>

#include "package/compile.h"
#include "package/package_writer.h"

namespace {

using namespace setup;

std::string ProjectOf(int files) {
    TCompile project;
    for (int i = 0; i < files; ++i) {
        auto f = std::make_unique<TCompileFileData>();
        f->Name = "file" + std::to_string(i) + ".dat";
        f->Source = "D:\\项目\\files\\sub" + std::to_string(i % 50) + "\\" + f->Name;
        f->TargetDir = "目标计算机\\Program Files\\sub" + std::to_string(i % 50);
        f->DataStart = i * 100;
        f->DataEnd = i * 100 + 100;
        f->FileSize = 1000;
        project.FileList.push_back(std::move(f));
    }
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    return SerializeProjectStream(project);
}

void BM_ParseProject10000Files(benchmark::State& state) {
    std::string stream = ProjectOf(10000);
    for (auto _ : state) {
        MemoryStream s(stream);
        TCompile model;
        ParseProjectStream(s, model);
        benchmark::DoNotOptimize(model.FileList.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_ParseProject10000Files)->Unit(benchmark::kMillisecond);

void BM_ReadPackageData64MiB(benchmark::State& state) {
    std::string data(64 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 24 & 0x3F);
    MemoryStream package;
    PackageWriter writer(package, cplSpeed);
    ItemRange range = writer.WriteItem(data);
    for (auto _ : state) {
        CountingStream sink;
        TCompile::ReadPackageData(package, sink, range.DataStart, range.DataEnd);
        benchmark::DoNotOptimize(sink.Size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_ReadPackageData64MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

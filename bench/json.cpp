// Parse and write benchmarks: our dialect reader and writer beside RapidJSON (DOM) and nlohmann::json
// on the same bytes. Inputs: every ../shared/data/json-corpus/*.json and "room2000", a generated
// room document of 2000 objects in standard JSON (which the dialect reads too).
// Names: Parse/<lib>/<input> and Write/<lib>/<input>; bytes processed is the input text's size for
// both, so the throughputs of one input compare directly.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <string>
#include <vector>

#include "KuDictionary.h"
#include "KuJson.h"
#include "KuObject.h"
#include "KuString.h"

namespace {

struct Input {
    std::string name;
    std::string text;
};

// A room as the editor keeps it, in standard JSON: points and rectangles as the brace texts the
// dictionary getters read, animations as frame lists.
std::string generateRoom(int objects) {
    uint64_t seed = 2000;
    auto next = [&seed](int n) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return (int)((seed >> 33) % (uint64_t)n);
    };
    const char* kinds[] = {"prop", "spot", "trigger", "object"};
    const char* states[] = {"stand", "walk", "use", "open", "closed"};
    std::string s;
    s.reserve((size_t)objects * 700);
    char line[512];
    s += "{\n  \"name\": \"room2000\",\n  \"sheet\": \"Rooms/Harbour\",\n  \"version\": 3,\n";
    s += "  \"bounds\": \"{{0,0},{2560,720}}\",\n  \"scale\": 1.5,\n";
    s += "  \"background\": [\"harbour_bg_01\", \"harbour_bg_02\"],\n";
    s += "  \"layers\": [{\"image\": \"harbour_sky\", \"parallax\": 0.25}, {\"image\": \"harbour_sea\", "
         "\"parallax\": 0.5}],\n";
    s += "  \"objects\": [\n";
    for (int i = 0; i < objects; i++) {
        const int x = next(2560), y = next(720), w = 8 + next(120), h = 16 + next(200);
        snprintf(line, sizeof line,
                 "    {\"name\": \"obj_%04d\", \"type\": \"%s\", \"pos\": \"{%d,%d}\", \"hotspot\": "
                 "\"{{%d,%d},{%d,%d}}\",\n     \"usepos\": \"{%d,%d}\", \"usedir\": %d, \"zsort\": %d, "
                 "\"layer\": %d, "
                 "\"alpha\": %d.%02d, \"touchable\": %s,\n     \"animations\": {",
                 i, kinds[next(4)], x, y, -w, 0, w, h, x + next(60) - 30, y - next(40), 1 << next(4), y,
                 next(3), next(2), next(100), next(2) ? "true" : "false");
        s += line;
        const int stateCount = 1 + next(3);
        for (int a = 0; a < stateCount; a++) {
            snprintf(line, sizeof line, "%s\"%s\": {\"fps\": %d, \"loop\": %s, \"frames\": [", a ? ", " : "",
                     states[(i + a) % 5], 6 + next(19), next(2) ? "true" : "false");
            s += line;
            const int frames = 1 + next(6);
            for (int f = 0; f < frames; f++) {
                snprintf(line, sizeof line, "%s{\"frame\": \"obj_%04d_%s_%02d\", \"offset\": \"{%d,%d}\"}",
                         f ? ", " : "", i, states[(i + a) % 5], f + 1, next(9) - 4, next(9) - 4);
                s += line;
            }
            s += "]}";
        }
        s += i + 1 < objects ? "}},\n" : "}}\n";
    }
    s += "  ],\n  \"walkboxes\": [";
    for (int b = 0; b < 12; b++) {
        snprintf(line, sizeof line,
                 "%s{\"name\": \"box%d\", \"polygon\": [\"{%d,%d}\", \"{%d,%d}\", \"{%d,%d}\"]}",
                 b ? ", " : "", b, next(2560), next(200), next(2560), next(200), next(2560), next(200));
        s += line;
    }
    s += "]\n}\n";
    return s;
}

std::vector<Input> loadInputs() {
    std::vector<Input> inputs;
    const std::string folder = std::string(TANSY_SHARED_DATA_DIR) + "/json-corpus";
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string n = e->d_name;
            if (n.size() > 5 && n.compare(n.size() - 5, 5, ".json") == 0) names.push_back(n);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::ifstream in(folder + "/" + n, std::ios::binary);
        inputs.push_back({n.substr(0, n.size() - 5), std::string(std::istreambuf_iterator<char>(in), {})});
    }
    if (names.empty()) fprintf(stderr, "note: no corpus files in %s; only room2000 runs\n", folder.c_str());
    inputs.push_back({"room2000", generateRoom(2000)});
    return inputs;
}

// Each iteration reads into a fresh tree and frees it, as the peers' iterations do.
void parseTansy(benchmark::State& state, const Input* input) {
    KuAutoreleasePool::currentPool();
    KuString* text = KuString::newWithString(input->text.c_str());
    for (auto _ : state) {
        KuAutoreleasePool::pushPool();
        KuJson reader;
        KuObject* root = reader.parse(text, false);
        if (!root) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(root);
        KuAutoreleasePool::popPool();
    }
    KuRelease(text);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input->text.size());
}

void parseNlohmann(benchmark::State& state, const Input* input) {
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(input->text);
        benchmark::DoNotOptimize(j);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input->text.size());
}

void parseRapidjson(benchmark::State& state, const Input* input) {
    for (auto _ : state) {
        rapidjson::Document d;
        d.Parse(input->text.c_str(), input->text.size());
        if (d.HasParseError()) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input->text.size());
}

void writeTansy(benchmark::State& state, const Input* input) {
    KuAutoreleasePool::currentPool();
    KuAutoreleasePool::pushPool();
    KuJson reader;
    KuObject* root = reader.parse(KuString::stringWithString(input->text.c_str()), false);
    KuDictionary* doc =
        root && root->kindCode() == kKuTypeDictionary ? static_cast<KuDictionary*>(root) : nullptr;
    if (!doc) {
        doc = KuDictionary::dictionary();
        doc->addKeyObject("root", root);
    }
    KuRetain(doc);
    KuAutoreleasePool::popPool();
    for (auto _ : state) {
        KuAutoreleasePool::pushPool();
        KuMutableString* out = KuJson::stringFromDict(doc);
        benchmark::DoNotOptimize(out);
        KuAutoreleasePool::popPool();
    }
    KuRelease(doc);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input->text.size());
}

void writeNlohmann(benchmark::State& state, const Input* input) {
    const nlohmann::json j = nlohmann::json::parse(input->text);
    for (auto _ : state) {
        std::string out = j.dump();
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input->text.size());
}

void writeRapidjson(benchmark::State& state, const Input* input) {
    rapidjson::Document d;
    d.Parse(input->text.c_str(), input->text.size());
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        d.Accept(writer);
        benchmark::DoNotOptimize(buffer.GetString());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input->text.size());
}

}  // namespace

int main(int argc, char** argv) {
    static const std::vector<Input> inputs = loadInputs();
    for (const Input& in : inputs) {
        benchmark::RegisterBenchmark(("Parse/tansy/" + in.name).c_str(), parseTansy, &in)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/nlohmann/" + in.name).c_str(), parseNlohmann, &in)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/rapidjson/" + in.name).c_str(), parseRapidjson, &in)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/tansy/" + in.name).c_str(), writeTansy, &in)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/nlohmann/" + in.name).c_str(), writeNlohmann, &in)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/rapidjson/" + in.name).c_str(), writeRapidjson, &in)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

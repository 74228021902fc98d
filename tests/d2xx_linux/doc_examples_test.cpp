// The examples of the manual pages and the README that pipe torvane-list,
// run as written over a fake sysfs tree (through this libftd2xx.so, which the
// lister loads by default): each gives what the text beside it promises.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/d2xx_linux/fake_sysfs.h"
#include "tests/d2xx_linux/shown_versions.h"

namespace {

namespace fs = std::filesystem;

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};

// Runs one shell command line, as a user types it, with torvane-list on PATH; its stdout.
std::string RunAsTyped(const std::string& commandLine) {
    const fs::path script = fs::temp_directory_path() / ("torvane-example-" + std::to_string(getpid()) + ".sh");
    std::ofstream(script) << commandLine << '\n';
    const std::string folder = fs::path(TORVANE_LIST_PROGRAM).parent_path().string();
    const std::string command =
        "env -u TORVANE_SIM PATH='" + folder + "':\"$PATH\" sh '" + script.string() + "' 2>/dev/null";
    std::string out;
    {
        std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
        char buffer[512];
        while (pipe && !std::feof(pipe.get()))
            if (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    }
    fs::remove(script);
    return out;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A manual page's text as typed: "\-" is "-", "\e" a backslash.
std::string Unroff(std::string line) {
    std::string typed;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '-' || line[i + 1] == 'e')) {
            typed += line[i + 1] == '-' ? '-' : '\\';
            ++i;
        } else {
            typed += line[i];
        }
    }
    return typed;
}

bool PipesTheLister(const std::string& line) {
    return line.rfind("torvane-list ", 0) == 0 && line.find(" | ") != std::string::npos;
}

// Every line that pipes torvane-list in the README's sh blocks and in the
// manual pages' unfilled (.nf) blocks.
std::vector<std::string> DocumentedPipelines() {
    std::vector<std::string> lines;
    const auto collect = [&](const fs::path& file, const std::string& open, const std::string& close, bool roff) {
        std::istringstream in(ReadFile(file));
        bool inside = false;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(open, 0) == 0) inside = true;
            else if (line.rfind(close, 0) == 0) inside = false;
            else if (inside && PipesTheLister(roff ? Unroff(line) : line)) lines.push_back(roff ? Unroff(line) : line);
        }
    };
    const fs::path root = TORVANE_SOURCE_DIR;
    collect(root / "README.md", "```sh", "```", false);
    for (const auto& page : fs::directory_iterator(root / "packaging" / "man"))
        if (page.path().extension() == ".1") collect(page.path(), ".nf", ".fi", true);
    return lines;
}

TEST(DocumentedExamples, EveryPipelineGivesWhatItsTextPromises) {
    fake_sysfs::Tree tree;
    tree.Add(fake_sysfs::Ft232r("1-1", "A10K1ABC", 2));
    tree.Add(fake_sysfs::Ft2232h("1-2", "FT5XYZ", 4, 5));
    tree.Add(fake_sysfs::Ft232r("1-3", "NOTTY001", std::nullopt));  // no port: left out of the port list
    tree.Add(fake_sysfs::NonFtdi("1-4"));
    // What each example's text promises on this tree.
    const std::map<std::string, std::string> promised = {
        {R"(torvane-list | awk -F'\t' 'NR > 1 && $1 ~ /^COM/ { print $1 }')", "COM35\nCOM37\nCOM38\n"},
        {"torvane-list | tail -n 1", "Wersja biblioteki FTD2XX.DLL: " + shown_versions::LibraryVersionShown() + "\n"},
    };
    const std::vector<std::string> pipelines = DocumentedPipelines();
    EXPECT_GE(pipelines.size(), 3u) << "the README's and the manual page's examples were not found";
    for (const std::string& pipeline : pipelines) {
        SCOPED_TRACE(pipeline);
        const auto promise = promised.find(pipeline);
        ASSERT_NE(promise, promised.end()) << "an example without its promised output in this test";
        EXPECT_EQ(RunAsTyped(pipeline), promise->second);
    }
}

}  // namespace

// Every stored fuzz input replayed through its target: the inputs that once broke the
// plug-in (regressions/) and the seeds (corpus/<target>/). A crash, a hang (the test's
// time-out), an escaping exception or, in the sanitized build, a sanitizer report fails it.
#include "fuzztargets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Target = int (*)(const std::uint8_t*, std::size_t);

const std::map<std::string, Target> kTargets = {
    {"conversions", fuzz::conversions}, {"server", fuzz::serverStatements},
    {"tdsvalue", fuzz::tdsValue},       {"tdswire", fuzz::tdsWire},
    {"hostrecord", fuzz::hostRecord},   {"savedreport", fuzz::savedReport},
};

// What each kept input must still come to: part of the error it is refused with, or of
// what is read from it. An input whose framing no longer reaches its fault fails here
// instead of passing by without a word.
const std::map<std::string, std::string> kKeptFor = {
    {"conversions-appendInteger-currency-overflow.bin", "out of the range of a currency value"},
    {"conversions-scaled4-overflow.bin", "shown ￥-2,251,799,813,685,248.00"},
    {"savedreport-colour-model.bin", "内容不完整"},
    {"savedreport-coordinates-1e171.bin", "位置或尺寸超出纸张"},
    {"savedreport-font-0px-and-9pt.bin", "字体大小或间距不合理"},
    {"savedreport-font-1e300.bin", "字体大小或间距不合理"},
    {"savedreport-font-1e38.bin", "字体大小或间距不合理"},
    {"savedreport-font-1e9.bin", "字体大小或间距不合理"},
    {"savedreport-font-9pt-and-negative-px.bin", "字体大小或间距不合理"},
    {"savedreport-font-almost-0pt.bin", "字体大小或间距不合理"},
    {"savedreport-font-families-17GB.bin", "内容不完整"},
    // a family no font has, with a character only Qt's box-drawing stand-in takes
    {"savedreport-font-without-face.bin", "loaded 1 pages, pdf written"},
    {"savedreport-font-pixels-and-points.bin", "字体大小或间距不合理"},
    {"savedreport-paper-neg100.bin", "纸张或页边距不合理"},
    {"savedreport-paper-neg4.5.bin", "纸张或页边距不合理"},
    {"savedreport-paper-w0.bin", "纸张或页边距不合理"},
    {"server-int-column-real-1e300.bin", "is not a whole number within the range of an integer"},
    {"server-money-output-overflow.bin", "of output @o is out of the range of money"},
    {"tdsvalue-numeric38-wrap.bin", "3.40282366920938E34 is out of the range of a currency"},
    {"tdsvalue-scaled4-overflow.bin", "cell 4611686018427387904"},
    {"tdswire-freetds-oom-3GB.bin", "was lost"},
    {"tdswire-freetds-spin-AEA7.bin", "was lost"},
    {"tdswire-freetds-spin-dbresults.bin", "Datastream processing out of sync"},
    {"tdswire-numeric38-hang.bin", "-3.40282366920938E36 is out of the range of a currency"},
    {"tdswire-numeric38-wrap.bin", "3.40282366920938E34 is out of the range of a currency"},
    {"tdswire-numeric38s2-wrap.bin", "3.40282366920938E34 is out of the range of a currency"},
    // a bigint row past the money range, once a call's answer and now a batch's
    {"tdswire-scaled4-overflow.bin", "| 3170534146258743240 |"},
};

struct Input {
    std::string target;
    fs::path path;
};

// The input's name under tests/fuzz (corpus/tdswire/batch-rows), as gtest prints the
// parameter of a failing test; the test's own name is the same with '_' for what a name
// cannot hold.
void PrintTo(const Input& in, std::ostream* os) {
    *os << in.path.lexically_relative(EXPORTPNL_FUZZ_DIR).generic_string();
}

// regressions/<target>-<what>.bin and corpus/<target>/<any name>.
std::vector<Input> storedInputs() {
    std::vector<Input> out;
    const fs::path root(EXPORTPNL_FUZZ_DIR);
    for (const auto& e : fs::directory_iterator(root / "regressions")) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() == ".bin")
            out.push_back({name.substr(0, name.find('-')), e.path()});
    }
    for (const auto& [target, fn] : kTargets) {
        const fs::path dir = root / "corpus" / target;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back({target, e.path()});
    }
    std::sort(out.begin(), out.end(),
              [](const Input& a, const Input& b) { return a.path < b.path; });
    return out;
}

class StoredInput : public ::testing::TestWithParam<Input> {};

TEST_P(StoredInput, RunsThroughItsTargetCleanly) {
    const Input& in = GetParam();
    const auto target = kTargets.find(in.target);
    ASSERT_NE(target, kTargets.end()) << "no target named " << in.target;
    std::ifstream file(in.path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(target->second(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    if (in.path.parent_path().filename() == "regressions") {
        const auto kept = kKeptFor.find(in.path.filename().string());
        ASSERT_NE(kept, kKeptFor.end())
            << "say what " << in.path.filename() << " must come to; it came to " << fuzz::outcome();
        EXPECT_NE(fuzz::outcome().find(kept->second), std::string::npos)
            << in.path.filename() << " came to: " << fuzz::outcome();
    }
    // Every network wait is bounded by the 2 s limits the target sets.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

TEST(StoredInputs, EveryTargetHasSeedsAndEveryRegressionATarget) {
    std::map<std::string, int> count;
    for (const Input& in : storedInputs()) {
        EXPECT_TRUE(kTargets.count(in.target)) << in.path;
        ++count[in.target];
    }
    for (const auto& [target, fn] : kTargets) EXPECT_GT(count[target], 0) << target;
}

// Named after the input alone, without its place in the list, so that a name stays the same
// when inputs are added.
std::string testName(const ::testing::TestParamInfo<Input>& info) {
    std::string name = ::testing::PrintToString(info.param);
    if (name.size() > 4 && name.ends_with(".bin"))
        name.resize(name.size() - 4);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, StoredInput, ::testing::ValuesIn(storedInputs()), testName);

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "file_text.h"
#include "run_program.h"

namespace {

struct CodecRun {
    int status;
    std::string out;
    std::string err;
};

// Runs vorn-codec with the arguments, feeding `input` on standard input.
CodecRun Codec(const std::string& arguments, const std::string& input) {
    const std::string base = ::testing::TempDir() + "vorn_codec_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    {
        std::ofstream in(base + ".in", std::ios::binary);
        in << input;
    }
    const int status = Vorn::Testing::RunProgram(VORN_TOOL_RUNNER, VORN_CODEC_PATH, arguments,
                                                 {base + ".in", base + ".out", base + ".err"});
    return CodecRun{status, Vorn::Testing::ReadFileText(base + ".out"), Vorn::Testing::ReadFileText(base + ".err")};
}

TEST(VornCodec, DecodesJsonToCompactOrPrettyJson) {
    CodecRun compact = Codec("decode --format json", "{\"b\": [1, 2.5, null], \"a\": \"x\"}");
    EXPECT_EQ(compact.status, 0);
    EXPECT_EQ(compact.out, "{\"a\":\"x\",\"b\":[1,2.5,null]}\n");
    EXPECT_EQ(compact.err, "");
    CodecRun pretty = Codec("decode --format json --pretty -", "{\"a\":1}");
    EXPECT_EQ(pretty.status, 0);
    EXPECT_EQ(pretty.out, "{\n    \"a\": 1\n}\n");
}

TEST(VornCodec, DecodesYaml) {
    CodecRun run = Codec("decode --format yaml", "b: [1, -2]\na: &x {k: 0x10}\nc: *x\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"a\":{\"k\":16},\"b\":[1,-2],\"c\":{\"k\":16}}\n");
    CodecRun failed = Codec("decode --format yaml", "--- 1\n--- 2\n");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Multi-document YAML is not supported.\n");
}

TEST(VornCodec, DecodesMessagePackAndReportsWhatItConsumed) {
    // {"a": true, "b": bin 0x01 0xFF} followed by a byte that is not read.
    const std::string bytes("\x82\xA1\x61\xC3\xA1\x62\xC4\x02\x01\xFF\x07", 11);
    CodecRun run = Codec("decode --format msgpack --consumed", bytes);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"a\":true,\"b\":\"Af8=\"}\n");
    EXPECT_EQ(run.err, "consumed: 10\n");
    CodecRun failed = Codec("decode --format msgpack", std::string("\xC1", 1));
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Invalid MessagePack data at position 1.\n");
    EXPECT_EQ(Codec("decode --format json --consumed", "1").status, 2);
}

TEST(VornCodec, ReportsDecodingFailuresOnStandardError) {
    CodecRun failed = Codec("decode --format json", "[1,]");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "Error: Invalid value. at offset 3.\n");
}

TEST(VornCodec, UsageErrorsExitWithTwo) {
    const char* cases[] = {"", "encode --format json", "decode", "decode --format xml", "decode --format json --what",
                           "decode --format json a b", "decode --format json /nonexistent/file"};
    for (const char* arguments : cases) {
        CodecRun run = Codec(arguments, "1");
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err, "") << arguments;
    }
}

}  // namespace

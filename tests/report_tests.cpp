// The report document, its exact text and the report file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "report/camera_report.h"
#include "report/report_file.h"
#include "report/styled_text.h"
#include "report/utf8.h"
#include "support/allocation_probe.h"
#include "support/report_oracle.h"

namespace camera_info {

namespace {

std::string reportOf(const CameraList& cameras) {
    return toStyledText(buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size())));
}

std::string objectText(const std::string& name, const std::string& pid, const std::string& vid) {
    return "   {\n      \"name\" : \"" + name + "\",\n      \"pid\" : \"" + pid + "\",\n      \"vid\" : \"" + vid +
           "\"\n   }";
}

TEST(ReportText, GoldenDocuments) {
    const struct {
        const char* what;
        CameraList cameras;
        std::string text;
    } cases[] = {
        {"no records", {}, "null\n"},
        {"one empty record", {CameraInfo{}}, "[\n" + objectText("", "", "") + "\n]\n"},
        {"two empty records",
         {CameraInfo{}, CameraInfo{}},
         "[\n   {\n      \"name\" : \"\",\n      \"pid\" : \"\",\n      \"vid\" : \"\"\n   },\n"
         "   {\n      \"name\" : \"\",\n      \"pid\" : \"\",\n      \"vid\" : \"\"\n   }\n]\n"},
        {"a camera", {{u"HD Webcam", u"1a2b", u"3c4d"}}, "[\n" + objectText("HD Webcam", "3c4d", "1a2b") + "\n]\n"},
        {"three in list order",
         {{u"b", u"2", u"2"}, {u"a", u"1", u"1"}, {u"b", u"2", u"2"}},
         "[\n" + objectText("b", "2", "2") + ",\n" + objectText("a", "1", "1") + ",\n" + objectText("b", "2", "2") +
             "\n]\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(reportOf(c.cameras), c.text) << c.what;
}

TEST(ReportText, QuotingOfEveryKindOfByte) {
    const struct {
        std::u16string name;
        std::string written;
    } cases[] = {
        {u"say \"cheese\"", "say \\\"cheese\\\""},
        {u"C:\\cam", "C:\\\\cam"},
        {u"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
        {u"\x01", "\\u0001"},
        {u"\x1b[0m", "\\u001B[0m"},
        {u"\x1f\x0b\x0e", "\\u001F\\u000B\\u000E"},
        {u"a/b", "a/b"},
        {u"\x7f", "\x7f"},
        {u"Caméra 摄像头 \xD83D\xDCF7", "Cam\xC3\xA9ra \xE6\x91\x84\xE5\x83\x8F\xE5\xA4\xB4 \xF0\x9F\x93\xB7"},
        {u"\\\\?\\usb#vid_1&pid_2", "\\\\\\\\?\\\\usb#vid_1&pid_2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reportOf({{c.name, u"", u""}}), "[\n" + objectText(c.written, "", "") + "\n]\n")
            << std::string(c.written);
    }
}

TEST(ReportText, EveryFieldIsQuotedTheSameWay) {
    EXPECT_EQ(reportOf({{u"\"", u"\\", u"\t"}}), "[\n" + objectText("\\\"", "\\t", "\\\\") + "\n]\n");
}

TEST(ReportText, NulInsideAStringValueIsEscaped) {
    Json::Value document;
    document[0]["name"] = std::string("a\0b", 3);
    EXPECT_NE(toStyledText(document).find("\"a\\u0000b\""), std::string::npos);
}

TEST(ReportDocument, CountDecidesHowManyRecords) {
    const CameraList two = {{u"a", u"1", u"2"}, {u"b", u"3", u"4"}};
    EXPECT_TRUE(buildCameraReport(two, 0).isNull());
    EXPECT_TRUE(buildCameraReport(two, -5).isNull());
    EXPECT_EQ(buildCameraReport(two, 1).size(), 1u);
    // More than the list holds builds from what is there, never past it.
    const Json::Value over = buildCameraReport(two, 9);
    ASSERT_EQ(over.size(), 2u);
    EXPECT_EQ(over[1]["name"].asString(), "b");
    EXPECT_TRUE(buildCameraReport({}, 3).isNull());
}

TEST(ReportDocument, MembersAreAlwaysPresentStrings) {
    const Json::Value document = buildCameraReport({CameraInfo{}}, 1);
    ASSERT_TRUE(document.isArray());
    EXPECT_EQ(document[0].getMemberNames(), (std::vector<std::string>{"name", "pid", "vid"}));
    for (const char* member : {"name", "pid", "vid"}) EXPECT_TRUE(document[0][member].isString()) << member;
}

// Random records with every kind of code unit, written by the report and by
// the library's own stream writer, and parsed back by the library's reader.
CameraList randomCameras(std::mt19937& random, int count) {
    static const char16_t kUnits[] = {u'a', u'Z', u'0', u' ', u'"', u'\\', u'/', u'&',   u'#',   0x01,   0x08,  0x09,
                                      0x0A, 0x0C, 0x0D, 0x1B, 0x1F, 0x7F,  0xE9, 0x4E2D, 0xFFFD, 0xD83D, 0xDCF7};
    auto field = [&] {
        std::u16string text;
        for (int i = static_cast<int>(random() % 12); i > 0; --i) text += kUnits[random() % std::size(kUnits)];
        return text;
    };
    CameraList cameras;
    for (int i = 0; i < count; ++i) cameras.push_back({field(), field(), field()});
    return cameras;
}

TEST(ReportText, AgreesWithTheLibraryWriterAndParser) {
    std::mt19937 random(2024);
    for (int round = 0; round < 300; ++round) {
        const CameraList cameras = randomCameras(random, 1 + round % 5);
        const Json::Value document = buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
        const std::string text = toStyledText(document);

        EXPECT_EQ(lowercaseUnicodeEscapes(text), libraryStyledText(document)) << "round " << round;

        Json::Value parsed;
        std::string errors;
        ASSERT_TRUE(parseReport(text, parsed, &errors)) << errors;
        ASSERT_EQ(parsed.size(), cameras.size());
        for (Json::ArrayIndex i = 0; i < parsed.size(); ++i) {
            EXPECT_EQ(parsed[i]["name"].asString(), toUtf8(cameras[i].name));
            EXPECT_EQ(parsed[i]["vid"].asString(), toUtf8(cameras[i].vid));
            EXPECT_EQ(parsed[i]["pid"].asString(), toUtf8(cameras[i].pid));
        }
    }
}

std::string fileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A report large enough to be written in many pieces, with fields that
// straddle the pieces and escapes that grow them.
Json::Value largeReport() {
    CameraList cameras;
    for (int i = 0; i < 3000; ++i) {
        const std::u16string n(i % 7 == 0 ? 70000 : 40, static_cast<char16_t>(i % 5 == 0 ? u'\x01' : u'a' + i % 26));
        cameras.push_back({n, u"\\" + n.substr(0, 5), u"\"\xD83D\xDCF7"});
    }
    return buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
}

TEST(ReportFile, WrittenPieceByPieceItIsTheSameText) {
    Json::Value small;
    small[0]["name"] = "cam";
    for (const Json::Value& document : {Json::Value(), small, largeReport()}) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(writeStyledText(document, file));
        std::rewind(file);
        std::string written;
        char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) written.append(buffer, got);
        std::fclose(file);
        const std::string text = toStyledText(document);
        EXPECT_EQ(written.size(), text.size());
        EXPECT_TRUE(written == text);
    }
}

TEST(ReportFile, ALargeReportIsNeverHeldWhole) {
    const CameraList cameras(20000, CameraInfo{u"A camera with a name", u"046d", u"0825"});
    const Json::Value document = buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    bool written = false;
    const std::optional<std::size_t> largest =
        largestAllocationDuring([&] { written = writeStyledText(document, file); });
    std::fclose(file);
    EXPECT_TRUE(written);
    if (!largest) GTEST_SKIP() << "allocations cannot be watched under AddressSanitizer";
    // Pieces of 64 KiB at most, of a report of 1.7 MB.
    EXPECT_LE(*largest, 64u * 1024 + 1);
}

TEST(ReportFile, ReplacesALongerFileAndKeepsLineFeeds) {
    const std::string path = testing::TempDir() + "camera_report_file.txt";
    { std::ofstream(path, std::ios::binary) << std::string(4096, 'x'); }
    Json::Value document;
    document[0]["name"] = "a";
    EXPECT_TRUE(writeReportFile(path.c_str(), document));
    EXPECT_EQ(fileContent(path), "[\n   {\n      \"name\" : \"a\"\n   }\n]\n");
    EXPECT_TRUE(writeReportFile(path.c_str(), Json::Value()));
    EXPECT_EQ(fileContent(path), "null\n");
    std::remove(path.c_str());
}

TEST(ReportFile, AFileThatCannotBeOpenedIsNotWritten) {
    const std::string path = testing::TempDir() + "no-such-directory/CameraInfo.txt";
    EXPECT_FALSE(writeReportFile(path.c_str(), Json::Value()));
    EXPECT_TRUE(fileContent(path).empty());
}

}  // namespace

}  // namespace camera_info

// The Windows backends against the real platform (run under Wine here).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "discovery/video_input_devices.h"
#include "discovery/windows/directshow_registry.h"
#include "owners/windows/handle_owners.h"
#include "report/report_file.h"
#include "report/report_file_steps.h"
#include "report/styled_text.h"
#include "report/utf8.h"
#include "support/random_text.h"
#include "text/utf.h"

namespace camera_info {

namespace {

// The test prefix has no video input device registered.
TEST(DirectShowRegistry, AnEmptyCategoryAnswersSFalseWithNoEnumerator) {
    DirectShowRegistry registry;
    registry.initialize();
    DeviceEnumeratorHandle deviceEnumerator;
    ASSERT_EQ(registry.createDeviceEnumerator(deviceEnumerator), kStatusOk);
    ASSERT_TRUE(deviceEnumerator);
    ClassEnumeratorHandle classEnumerator;
    EXPECT_EQ(registry.createClassEnumerator(deviceEnumerator, classEnumerator), kStatusFalse);
    EXPECT_FALSE(classEnumerator);
    registry.release(deviceEnumerator);

    CameraList cameras;
    EXPECT_EQ(listVideoInputDevices(cameras), 0);
    EXPECT_TRUE(cameras.empty());
}

TEST(DirectShowRegistry, PropertyValuesWithoutTextGiveNone) {
    DirectShowRegistry registry;
    const PropertyValueHandle value = registry.createPropertyValue();
    EXPECT_EQ(registry.propertyText(value), std::nullopt);            // VT_EMPTY
    VARIANT* variant = static_cast<Variant*>(value.object())->get();  // the backend's own value
    V_VT(variant) = VT_BSTR;
    V_BSTR(variant) = nullptr;
    EXPECT_EQ(registry.propertyText(value), std::nullopt);
    V_BSTR(variant) = SysAllocStringLen(L"ab\0c", 4);
    EXPECT_EQ(registry.propertyText(value), std::u16string(u"ab\0c", 4));  // the stored length, NUL and all
    registry.release(value);
}

HANDLE openForReadWrite(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string contentOf(const char* path) {
    std::string text;
    if (std::FILE* file = std::fopen(path, "rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
        std::fclose(file);
    }
    return text;
}

// Files in the current directory whose names start with `prefix`.
int filesStartingWith(const wchar_t* prefix) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((std::wstring(prefix) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

Json::Value smallReport() {
    Json::Value document;
    document[0]["name"] = "Integrated Camera";
    document[0]["vid"] = "0bda";
    document[0]["pid"] = "58f4";
    return document;
}

TEST(ReportFile, OthersMayReadAndWriteWhatIsBeingWritten) {
    // A file held without sharing refuses a second opener, so the checks
    // below can tell sharing from no sharing.
    const HANDLE exclusive = CreateFileW(L"shared_report_test.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openForReadWrite(L"shared_report_test.txt"), INVALID_HANDLE_VALUE);
    CloseHandle(exclusive);

    std::string created;
    ReportStream sibling = createReportSibling(".shared_report_test.txt.", created);
    ASSERT_TRUE(sibling);
    EXPECT_EQ(created.rfind(".shared_report_test.txt.", 0), 0u) << created;
    EXPECT_GT(created.size(), std::string(".shared_report_test.txt.").size()) << "a name of its own";
    const std::wstring wideCreated(created.begin(), created.end());
    const HANDLE other = openForReadWrite(wideCreated.c_str());
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    EXPECT_TRUE(sibling.close());
    DeleteFileW(wideCreated.c_str());

    std::uint64_t size = 1;
    ReportStream inPlace = openReportInPlace("shared_report_test.txt");
    ASSERT_TRUE(inPlace);
    ASSERT_EQ(holdReportInPlace(inPlace, size), ReportHold::Held);
    EXPECT_EQ(size, 0u);
    const HANDLE another = openForReadWrite(L"shared_report_test.txt");
    EXPECT_NE(another, INVALID_HANDLE_VALUE);
    if (another != INVALID_HANDLE_VALUE) CloseHandle(another);
    EXPECT_TRUE(closeReportInPlace(std::move(inPlace), 0));
    DeleteFileW(L"shared_report_test.txt");
}

TEST(ReportFile, AReadOnlyFileIsReplaced) {
    const char* path = "read_only_report_test.txt";
    {
        std::FILE* old = std::fopen(path, "wb");
        ASSERT_NE(old, nullptr);
        std::fputs("old", old);
        std::fclose(old);
    }
    ASSERT_TRUE(SetFileAttributesW(L"read_only_report_test.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(writeReportFile(path, smallReport()));
    EXPECT_EQ(contentOf(path), toStyledText(smallReport()));
    EXPECT_EQ(filesStartingWith(L".read_only_report_test.txt"), 0);
    SetFileAttributesW(L"read_only_report_test.txt", FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(L"read_only_report_test.txt");
}

TEST(ReportFile, AnOldReportHeldOpenIsWrittenInPlace) {
    const char* path = "held_report_test.txt";
    // Longer than the new report, and shorter: room is reserved for it first.
    // Longer than a page, which one write cannot cover: left as it is.
    for (const std::size_t oldSize : {std::size_t{4000}, std::size_t{10}, std::size_t{5000}}) {
        const bool fits = oldSize <= 4096;
        {
            std::FILE* old = std::fopen(path, "wb");
            ASSERT_NE(old, nullptr);
            std::fputs(std::string(oldSize, '#').c_str(), old);
            std::fclose(old);
        }
        // Held as a viewer holds it: others may read and write, not delete or rename it.
        const HANDLE held = CreateFileW(L"held_report_test.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(writeReportFile(path, smallReport()), fits) << oldSize;
        EXPECT_EQ(contentOf(path), fits ? toStyledText(smallReport()) : std::string(oldSize, '#')) << oldSize;
        EXPECT_EQ(filesStartingWith(L".held_report_test.txt"), 0);
        CloseHandle(held);
        DeleteFileW(L"held_report_test.txt");
    }
}

TEST(ReportFile, AnOldReportHeldOpenWithAnotherNameIsLeftAsItIs) {
    const char* path = "linked_report_test.txt";
    {
        std::FILE* old = std::fopen(path, "wb");
        ASSERT_NE(old, nullptr);
        std::fputs("old", old);
        std::fclose(old);
    }
    ASSERT_TRUE(CreateHardLinkW(L"linked_report_copy.txt", L"linked_report_test.txt", nullptr));
    const HANDLE held = CreateFileW(L"linked_report_test.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(writeReportFile(path, smallReport()));
    EXPECT_EQ(contentOf(path), "old");
    EXPECT_EQ(contentOf("linked_report_copy.txt"), "old");
    EXPECT_EQ(filesStartingWith(L".linked_report_test.txt"), 0);
    CloseHandle(held);
    DeleteFileW(L"linked_report_test.txt");
    DeleteFileW(L"linked_report_copy.txt");
}

TEST(ReportFile, ADirectoryInTheReportsPlaceIsLeftAndNothingIsLeftBeside) {
    ASSERT_TRUE(CreateDirectoryW(L"dir_report_test.txt", nullptr));
    EXPECT_FALSE(writeReportFile("dir_report_test.txt", smallReport()));
    EXPECT_EQ(GetFileAttributesW(L"dir_report_test.txt") & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(filesStartingWith(L".dir_report_test.txt"), 0);
    RemoveDirectoryW(L"dir_report_test.txt");
}

// The report's conversion is the platform's own here; the project's own
// conversion, used where there is no platform, must give the same bytes.
TEST(Utf8, ThePlatformAndTheProjectsOwnConversionAgree) {
    for (const std::u16string& text : randomTexts())
        ASSERT_EQ(toUtf8(text), encodeUtf8(text)) << text.size() << " units";
}

}  // namespace

}  // namespace camera_info

// The Windows backends against the real platform (run under Wine here).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "camera_report.h"
#include "directshow_registry.h"
#include "random_text.h"
#include "report_file.h"
#include "utf.h"
#include "video_input_devices.h"

namespace {

// The test prefix has no video input device registered.
TEST(DirectShowRegistry, AnEmptyCategoryAnswersSFalseWithNoEnumerator) {
    DirectShowRegistry registry;
    registry.initialize();
    Handle deviceEnumerator = 0;
    ASSERT_EQ(registry.createDeviceEnumerator(deviceEnumerator), kStatusOk);
    ASSERT_NE(deviceEnumerator, Handle{0});
    Handle classEnumerator = 0;
    EXPECT_EQ(registry.createClassEnumerator(deviceEnumerator, classEnumerator), kStatusFalse);
    EXPECT_EQ(classEnumerator, Handle{0});
    registry.release(HandleKind::DeviceEnumerator, deviceEnumerator);

    CameraList cameras;
    EXPECT_EQ(listVideoInputDevices(cameras), 0);
    EXPECT_TRUE(cameras.empty());
}

TEST(DirectShowRegistry, PropertyValuesWithoutTextGiveNone) {
    DirectShowRegistry registry;
    const Handle value = registry.createPropertyValue();
    EXPECT_EQ(registry.propertyText(value), std::nullopt);  // VT_EMPTY
    auto* variant = reinterpret_cast<VARIANT*>(value);
    V_VT(variant) = VT_BSTR;
    V_BSTR(variant) = nullptr;
    EXPECT_EQ(registry.propertyText(value), std::nullopt);
    V_BSTR(variant) = SysAllocStringLen(L"ab\0c", 4);
    EXPECT_EQ(registry.propertyText(value), std::u16string(u"ab\0c", 4));  // the stored length, NUL and all
    registry.release(HandleKind::PropertyValue, value);
}

HANDLE openForReadWrite(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(ReportFile, OthersMayReadAndWriteItWhileItIsOpen) {
    const std::wstring path = L"shared_report_test.txt";
    // A file held without sharing refuses a second opener, so the check below
    // can tell sharing from no sharing.
    const HANDLE exclusive =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openForReadWrite(path.c_str()), INVALID_HANDLE_VALUE);
    CloseHandle(exclusive);

    std::FILE* report = openReportFile("shared_report_test.txt");
    ASSERT_NE(report, nullptr);
    const HANDLE other = openForReadWrite(path.c_str());
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    std::fclose(report);
    DeleteFileW(path.c_str());
}

// The report's conversion is the platform's own here; the project's own
// conversion, used where there is no platform, must give the same bytes.
TEST(Utf8, ThePlatformAndTheProjectsOwnConversionAgree) {
    for (const std::u16string& text : randomTexts()) ASSERT_EQ(toUtf8(text), encodeUtf8(text)) << text.size() << " units";
}

}  // namespace

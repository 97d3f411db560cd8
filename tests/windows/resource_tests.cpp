// The built program's version resource and application manifest, read back
// the way Windows and deployment tools read them.
//   resource_tests <path of camera-info.exe>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring programPath;

std::wstring stringValue(const std::vector<char>& info, const wchar_t* name) {
    void* text = nullptr;
    UINT units = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), &text, &units) || text == nullptr) return L"(none)";
    return std::wstring(static_cast<const wchar_t*>(text));
}

TEST(ProgramResources, VersionResource) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(programPath.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(programPath.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD(CAMERA_INFO_VERSION_MAJOR) << 16 | CAMERA_INFO_VERSION_MINOR);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD(CAMERA_INFO_VERSION_PATCH) << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));

    EXPECT_EQ(stringValue(info, L"FileVersion"), L"" CAMERA_INFO_VERSION);
    EXPECT_EQ(stringValue(info, L"ProductVersion"), L"" CAMERA_INFO_VERSION);
    EXPECT_EQ(stringValue(info, L"ProductName"), L"camera-info");
    EXPECT_EQ(stringValue(info, L"OriginalFilename"), L"camera-info.exe");
    EXPECT_NE(stringValue(info, L"FileDescription").find(L"CameraInfo.txt"), std::wstring::npos);
}

TEST(ProgramResources, ManifestRunsAsInvokerOnVistaTo11) {
    const HMODULE module =
        LoadLibraryExW(programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr) << "no application manifest";
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(bytes, SizeofResource(module, found));
    FreeLibrary(module);

    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("version=\"" CAMERA_INFO_VERSION ".0\""), std::string::npos);
    const char* const systems[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
    };
    for (const char* id : systems) EXPECT_NE(manifest.find(id), std::string::npos) << id;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fputws(L"usage: resource_tests <camera-info.exe>\n", stderr);
        return 2;
    }
    programPath = argv[1];
    return RUN_ALL_TESTS();
}

// Test of ilhome.exe's version resource and application manifest, read with
// version.dll and the resource functions of kernel32 under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

TEST(Resources, IlhomeExeCarriesItsVersionAndManifest) {
  const char* exe = ILHOME_EXE;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
  ASSERT_GT(size, 0u) << exe;
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe, 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (DWORD{ILHOME_VERSION_MAJOR} << 16) | ILHOME_VERSION_MINOR);
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD{ILHOME_VERSION_PATCH} << 16);
  EXPECT_EQ(fixed->dwFileType, DWORD{VFT_APP});
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\ProductVersion",
                             reinterpret_cast<void**>(&text), &length));
  EXPECT_EQ(std::string("ilhome ") + text, "ilhome " ILHOME_VERSION);

  HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(manifest, nullptr);
  DWORD bytes = SizeofResource(module, manifest);
  const char* data = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  ASSERT_NE(data, nullptr);
  std::string xml(data, bytes);
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
  // Paths beyond 260 characters, where the system allows them: a deep profile
  // is packed and unpacked whole.
  EXPECT_NE(xml.find("<longPathAware "
                     "xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true"
                     "</longPathAware>"),
            std::string::npos);
  FreeLibrary(module);
}

}  // namespace

// The built exe read back as a file: what Windows' loader and a bare
// machine will make of it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "run_process.h"

namespace {

const std::string exe = std::string(WINDOWS_BUILD_DIR) + "/remove-grindlevault.exe";

std::string utf16(const std::string &ascii)
{
	std::string out;
	for (char c : ascii)
		out += std::string{c, '\0'};
	return out;
}

class ExeFile : public ::testing::Test {
protected:
	void SetUp() override
	{
		bytes = read_file(exe);
		ASSERT_GT(bytes.size(), 0x200u) << exe << " is missing: build the windows preset first";
	}
	std::uint32_t u16(size_t at) const
	{
		return static_cast<unsigned char>(bytes.at(at)) |
		    static_cast<unsigned char>(bytes.at(at + 1)) << 8;
	}
	std::uint32_t u32(size_t at) const
	{
		return u16(at) | u16(at + 2) << 16;
	}
	std::string bytes;
};

TEST_F(ExeFile, IsAStrippedPE32ConsoleProgramForSubsystem4)
{
	ASSERT_EQ(bytes.substr(0, 2), "MZ");
	size_t pe = u32(0x3c);
	ASSERT_EQ(bytes.substr(pe, 4), std::string("PE\0\0", 4));
	size_t coff = pe + 4, optional = coff + 20;
	EXPECT_EQ(u16(coff), 0x14cu) << "machine: i386";
	EXPECT_EQ(u32(coff + 4), 0u) << "a link timestamp would make builds differ";
	EXPECT_EQ(u32(coff + 8), 0u) << "symbol table left in";
	EXPECT_EQ(u32(coff + 12), 0u) << "symbols left in";
	EXPECT_EQ(u16(optional), 0x10bu) << "optional header: PE32";
	EXPECT_EQ(u16(optional + 48), 4u) << "major subsystem version";
	EXPECT_EQ(u16(optional + 50), 0u) << "minor subsystem version";
	EXPECT_EQ(u16(optional + 68), 3u) << "subsystem: Windows console";
}

// Both programs must start on a bare Windows, which has no MinGW runtime DLLs.
class ExeImports : public ::testing::TestWithParam<const char *> {};

TEST_P(ExeImports, OnlyWhatEveryWindowsHas)
{
	std::string path = std::string(WINDOWS_BUILD_DIR) + "/" + GetParam();
	ProcessResult dump = run_process({"i686-w64-mingw32-objdump", "-p", path});
	ASSERT_EQ(dump.status, 0) << dump.err;
	std::set<std::string> dlls;
	std::istringstream lines(dump.out);
	for (std::string line; std::getline(lines, line);) {
		size_t at = line.find("DLL Name: ");
		if (at == std::string::npos)
			continue;
		std::string name = line.substr(at + 10);
		for (char &c : name)
			c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
		dlls.insert(name);
	}
	EXPECT_EQ(dlls, (std::set<std::string>{"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL"}));
}

INSTANTIATE_TEST_SUITE_P(Programs, ExeImports,
    ::testing::Values("remove-grindlevault.exe", "acceptance-tests.exe"),
    [](const ::testing::TestParamInfo<const char *> &info) {
	    std::string name = info.param;
	    return name.substr(0, name.find('-'));
    });

TEST_F(ExeFile, CarriesAnAsInvokerManifestWithSupportedOS)
{
	EXPECT_NE(bytes.find(R"(<requestedExecutionLevel level="asInvoker")"), std::string::npos);
	// Windows 10 and 11; without it they treat the program as written for Vista.
	EXPECT_NE(bytes.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

TEST_F(ExeFile, VersionInfoIsTheProjectVersion)
{
	unsigned major = 0, minor = 0, patch = 0;
	ASSERT_EQ(std::sscanf(PROJECT_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
	size_t fixed = bytes.find(std::string("\xbd\x04\xef\xfe", 4));
	ASSERT_NE(fixed, std::string::npos) << "no VERSIONINFO resource";
	EXPECT_EQ(u32(fixed + 8), major << 16 | minor) << "file version, high half";
	EXPECT_EQ(u32(fixed + 12), patch << 16) << "file version, low half";
	EXPECT_EQ(u32(fixed + 16), major << 16 | minor) << "product version, high half";
	for (const char *field : {"FileVersion", "ProductVersion"}) {
		size_t at = bytes.find(utf16(field) + std::string(2, '\0'));
		ASSERT_NE(at, std::string::npos) << field;
		// The value follows the name's terminator and padding to 32 bits.
		at = bytes.find_first_not_of('\0', at + 2 * std::strlen(field));
		EXPECT_EQ(bytes.substr(at, 2 * std::strlen(PROJECT_VERSION) + 2),
		    utf16(PROJECT_VERSION) + std::string(2, '\0')) << field;
	}
	EXPECT_NE(bytes.find(utf16("FileDescription")), std::string::npos);
	EXPECT_NE(bytes.find(utf16("remove-grindlevault")), std::string::npos);
}

}

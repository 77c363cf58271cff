// The real exe under Wine's registry: each scenario gets a fresh copy of a
// pristine prefix, seeds it, runs the program and compares whole exports of
// HKLM\Software and HKCU\Software before and after.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <source_location>
#include <string>
#include <vector>

#include "run_process.h"

namespace {

using Where = std::source_location;

const std::string windows_build = WINDOWS_BUILD_DIR;
const std::string exe = windows_build + "/remove-grindlevault.exe";
const std::string deny_read = windows_build + "/deny-read.exe";

const std::string confirmation =
    "Registry key Software\\Calvorant\\LoftWinder\\GrindleVault Deleted\r\n";
const std::string cannot_delete =
    R"(remove-grindlevault: cannot delete Software\\Calvorant\\LoftWinder\\GrindleVault: [^\r\n]+ \(error 5\)\r\n)";
const std::string cannot_open =
    R"(remove-grindlevault: cannot open the parent of Software\\Calvorant\\LoftWinder\\GrindleVault: [^\r\n]+ \(error 5\)\r\n)";

// Registry contents in .reg form. The parent carries a value and a sibling
// key, and the current user has a key of the same name, none of which may be
// touched.
const std::string other_vendor = R"(
[HKEY_LOCAL_MACHINE\Software\Fabrikam\Tools]
"Kept"="yes"
)";
const std::string parent = other_vendor + R"(
[HKEY_LOCAL_MACHINE\Software\Calvorant\LoftWinder]
"InstallDir"="C:\\LoftWinder"

[HKEY_LOCAL_MACHINE\Software\Calvorant\LoftWinder\Settings]
"Theme"="dark"

[HKEY_CURRENT_USER\Software\Calvorant\LoftWinder\GrindleVault]
"Version"="per-user"
)";
const std::string with_key = parent + R"(
[HKEY_LOCAL_MACHINE\Software\Calvorant\LoftWinder\GrindleVault]
"Version"="2.1"
"Build"=dword:0000002a
)";
const std::string with_subkey = with_key + R"(
[HKEY_LOCAL_MACHINE\Software\Calvorant\LoftWinder\GrindleVault\Plugins]
"Enabled"=dword:00000001
)";

const std::string the_key = R"(HKEY_LOCAL_MACHINE\Software\Calvorant\LoftWinder\GrindleVault)";
const std::string the_key_32_bit_view =
    R"(HKEY_LOCAL_MACHINE\Software\Wow6432Node\Calvorant\LoftWinder\GrindleVault)";

enum class Arch { win32, win64 };

struct Scenario {
	const char *name;
	Arch arch;
	std::string seed;    // what 32-bit programs see
	std::string seed_64; // the 64-bit view, in a 64-bit prefix
	bool deny_parent;    // nobody may open the parent key
	int runs;            // the last run is the one checked
	std::string out;
	std::string err; // a pattern for the whole of stderr
	int status;
	std::vector<std::string> removed; // keys, as exported, that are gone
};

const Scenario scenarios[] = {
    {"key_present", Arch::win32, with_key, "", false, 1,
        confirmation, "", 0, {the_key}},
    {"run_again_after_deletion", Arch::win32, with_key, "", false, 2,
        confirmation, "", 0, {the_key}},
    {"key_absent", Arch::win32, parent, "", false, 1,
        confirmation, "", 0, {}},
    {"vendor_absent", Arch::win32, other_vendor, "", false, 1,
        confirmation, "", 0, {}},
    {"key_with_subkey", Arch::win32, with_subkey, "", false, 1,
        "", cannot_delete, 1, {}},
    {"parent_unreadable", Arch::win32, with_key, "", true, 1,
        "", cannot_open, 1, {}},
    {"both_views_hold_the_key", Arch::win64, with_key, with_key, false, 1,
        confirmation, "", 0, {the_key_32_bit_view}},
    {"only_the_64_bit_view_holds_it", Arch::win64, "", with_key, false, 1,
        confirmation, "", 0, {}},
};

void PrintTo(const Scenario &s, std::ostream *os)
{
	*os << s.name;
}

bool exists(const std::string &path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0;
}

std::string windows_path(std::string unix_path)
{
	for (char &c : unix_path)
		if (c == '/')
			c = '\\';
	return "Z:" + unix_path;
}

// An export as key name -> the lines beneath it.
using Sections = std::map<std::string, std::string>;

Sections parse_export(const std::string &utf16)
{
	std::string text;
	for (size_t i = 2; i + 1 < utf16.size(); i += 2) {
		unsigned unit = static_cast<unsigned char>(utf16[i]) |
		    static_cast<unsigned char>(utf16[i + 1]) << 8;
		text += unit < 0x80 ? std::string(1, static_cast<char>(unit))
		                    : "\\u" + std::to_string(unit) + ";";
	}
	Sections sections;
	std::string *body = nullptr;
	size_t start = 0;
	while (start < text.size()) {
		size_t end = text.find("\r\n", start);
		if (end == std::string::npos)
			end = text.size();
		std::string line = text.substr(start, end - start);
		if (line.size() > 2 && line.front() == '[' && line.back() == ']')
			body = &sections[line.substr(1, line.size() - 2)];
		else if (body && !line.empty())
			*body += line + "\n";
		start = end + 2;
	}
	return sections;
}

// What differs between the expected registry and the real one, a line each.
std::string differences(const Sections &expected, const Sections &actual)
{
	std::string report;
	for (const auto &[key, body] : expected) {
		auto found = actual.find(key);
		if (found == actual.end())
			report += "gone: " + key + "\n";
		else if (found->second != body)
			report += "changed: " + key + "\nwas:\n" + body + "now:\n" + found->second;
	}
	for (const auto &[key, body] : actual)
		if (!expected.count(key))
			report += "appeared: " + key + "\n";
	return report;
}

// A throwaway copy of a pristine prefix with its own wineserver.
class WinePrefix : public ::testing::Test {
protected:
	void start(Arch arch)
	{
		ASSERT_TRUE(exists(exe)) << exe << " is missing: build the windows preset first";
		ASSERT_TRUE(exists(deny_read)) << deny_read << " is missing: build the windows preset first";
		std::string pristine = std::string(PREFIXES_DIR) + (arch == Arch::win32 ? "/win32" : "/win64");
		ASSERT_TRUE(exists(pristine + "/system.reg")) << "no pristine prefix at " << pristine;
		const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
		std::string name = std::string(test->test_suite_name()) + "." + test->name();
		std::replace(name.begin(), name.end(), '/', '-');
		prefix_ = std::string(PREFIXES_DIR) + "/run-" + name;
		run_process({"rm", "-rf", prefix_});
		ASSERT_EQ(run_process({"cp", "-a", pristine, prefix_}).status, 0);
		setenv("WINEPREFIX", prefix_.c_str(), 1);
		setenv("WINEDEBUG", "-all", 1);
		setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
		unsetenv("WINEARCH");
		unsetenv("DISPLAY");
		start_server();
	}

	void TearDown() override
	{
		if (prefix_.empty())
			return;
		stop_server();
		run_process({"rm", "-rf", prefix_});
	}

	// A persistent server keeps the many short wine calls of a scenario fast.
	void start_server()
	{
		run_process({"wineserver", "-p"});
	}

	// Wine keeps key security only in the server's memory: a restart is how
	// a denied key becomes readable again for the export.
	void stop_server()
	{
		run_process({"wineserver", "-k"});
		run_process({"wineserver", "-w"});
	}

	ProcessResult wine(std::vector<std::string> args)
	{
		args.insert(args.begin(), "wine");
		return run_process(args);
	}

	void must(const std::vector<std::string> &args, Where where = Where::current())
	{
		ProcessResult r = wine(args);
		if (r.status != 0)
			ADD_FAILURE_AT(where.file_name(), where.line())
			    << "wine " << args[0] << " " << (args.size() > 1 ? args[1] : "")
			    << " exited " << r.status << ": " << r.out << r.err;
	}

	void import(const std::string &seed, const char *view, Where where = Where::current())
	{
		if (seed.empty())
			return;
		std::string path = prefix_ + "/seed.reg";
		std::string text = "REGEDIT4\r\n";
		for (char c : seed)
			text += c == '\n' ? std::string("\r\n") : std::string(1, c);
		std::ofstream(path, std::ios::binary) << text;
		must({"reg", "import", windows_path(path), view}, where);
	}

	// HKLM\Software and HKCU\Software whole, in the 64-bit view: in a 64-bit
	// prefix it holds the 32-bit one beneath Wow6432Node, and a 32-bit prefix
	// has only the one view.
	Sections export_software(Where where = Where::current())
	{
		Sections all;
		for (const char *root : {"HKLM\\Software", "HKCU\\Software"}) {
			std::string path = prefix_ + "/export.reg";
			must({"reg", "export", root, windows_path(path), "/y", "/reg:64"}, where);
			Sections part = parse_export(read_file(path));
			all.insert(part.begin(), part.end());
		}
		if (all.empty())
			ADD_FAILURE_AT(where.file_name(), where.line()) << "the export came back empty";
		return all;
	}

	std::string prefix_;
};

class WineScenario : public WinePrefix, public ::testing::WithParamInterface<Scenario> {};

TEST_P(WineScenario, Run)
{
	const Scenario &s = GetParam();
	ASSERT_NO_FATAL_FAILURE(start(s.arch));
	import(s.seed, "/reg:32");
	import(s.seed_64, "/reg:64");
	Sections before = export_software();
	for (const std::string &key : s.removed)
		ASSERT_TRUE(before.count(key)) << "the seed has no " << key;
	if (s.deny_parent)
		must({deny_read, R"(Software\Calvorant\LoftWinder)"});

	ProcessResult r;
	for (int i = 0; i < s.runs; i++)
		r = wine({exe});

	EXPECT_EQ(r.out, s.out);
	EXPECT_TRUE(std::regex_match(r.err, std::regex(s.err))) << "stderr: " << r.err;
	EXPECT_EQ(r.status, s.status);

	if (s.deny_parent) {
		stop_server();
		start_server();
	}
	Sections expected = before;
	for (const std::string &key : s.removed)
		expected.erase(key);
	EXPECT_EQ(differences(expected, export_software()), "");
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WineScenario, ::testing::ValuesIn(scenarios),
    [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

class WineArguments : public WinePrefix {};

// Whatever the command line holds, the run is the one without it.
TEST_F(WineArguments, AreIgnored)
{
	ASSERT_NO_FATAL_FAILURE(start(Arch::win32));
	const std::vector<std::vector<std::string>> argument_lists = {
	    {}, {"/?"}, {""}, {"with space", "\"quoted\"", "a\\\"b"}, {"\xc3\xa9t\xc3\xa9", "\xe6\x97\xa5"},
	    {std::string(4000, 'x')}, {"Software\\Other", "/f", "--delete"}};
	for (const auto &arguments : argument_lists) {
		std::string label = arguments.empty() ? "(none)" : arguments[0].substr(0, 16);
		import(with_key, "/reg:32");
		std::vector<std::string> argv = {exe};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		ProcessResult r = wine(argv);
		EXPECT_EQ(r.out, confirmation) << label;
		EXPECT_EQ(r.err, "") << label;
		EXPECT_EQ(r.status, 0) << label;
		EXPECT_NE(wine({"reg", "query", the_key}).status, 0) << label << ": the key is still there";
		EXPECT_EQ(wine({"reg", "query", R"(HKLM\Software\Calvorant\LoftWinder)"}).status, 0)
		    << label << ": the parent is gone";
	}
}

}

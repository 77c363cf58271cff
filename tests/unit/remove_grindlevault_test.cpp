#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host_registry.h"
#include "remove_grindlevault.h"
#include "run_process.h"

namespace hr = host_registry;

namespace {

const std::string confirmation =
    "Registry key Software\\Calvorant\\LoftWinder\\GrindleVault Deleted\n";
const std::string cannot_open =
    "remove-grindlevault: cannot open the parent of Software\\Calvorant\\LoftWinder\\GrindleVault: ";
const std::string cannot_delete =
    "remove-grindlevault: cannot delete Software\\Calvorant\\LoftWinder\\GrindleVault: ";

// The registry before and after a run. Each tree holds the one before it:
// another vendor's key, then the parent with a value and a sibling key,
// then the application key with a value, then a subkey of it.
enum class Tree { vendor_absent, parent_only, with_key, key_with_subkey };

void seed(Tree tree)
{
	hr::set_value(R"(Software\Fabrikam\Tools)", "Kept", "yes");
	if (tree == Tree::vendor_absent)
		return;
	hr::set_value(R"(Software\Calvorant\LoftWinder)", "InstallDir", R"(C:\LoftWinder)");
	hr::set_value(R"(Software\Calvorant\LoftWinder\Settings)", "Theme", "dark");
	if (tree == Tree::parent_only)
		return;
	hr::set_value(R"(Software\Calvorant\LoftWinder\GrindleVault)", "Version", "2.1");
	if (tree == Tree::with_key)
		return;
	hr::set_value(R"(Software\Calvorant\LoftWinder\GrindleVault\Plugins)", "Enabled", "1");
}

std::string dump_of(Tree tree)
{
	hr::reset();
	seed(tree);
	std::string dump = hr::dump();
	hr::reset();
	return dump;
}

// The calls as the stand-in logs them: the exact arguments, then the status.
std::string open_succeeds()
{
	return R"(RegOpenKeyExA(HKLM, "Software\Calvorant\LoftWinder", 0, 0x20019) -> h1 = 0)";
}
std::string open_returns(LONG status)
{
	return R"(RegOpenKeyExA(HKLM, "Software\Calvorant\LoftWinder", 0, 0x20019) = )" +
	    std::to_string(status);
}
std::string delete_returns(LONG status)
{
	return R"(RegDeleteKeyA(h1, "GrindleVault") = )" + std::to_string(status);
}
std::string close_returns(LONG status)
{
	return "RegCloseKey(h1) = " + std::to_string(status);
}

struct Forced {
	hr::Function function;
	LONG status;
};

struct Scenario {
	const char *name;
	Tree before;
	std::vector<Forced> forced;
	std::vector<std::string> calls;
	std::string out;
	std::string err;
	int status;
	Tree after;
};

const hr::Function open = hr::Function::RegOpenKeyExA;
const hr::Function remove = hr::Function::RegDeleteKeyA;
const hr::Function close = hr::Function::RegCloseKey;

const Scenario scenarios[] = {
    {"key_present", Tree::with_key, {},
        {open_succeeds(), delete_returns(0), close_returns(0)},
        confirmation, "", 0, Tree::parent_only},
    {"key_absent", Tree::parent_only, {},
        {open_succeeds(), delete_returns(2), close_returns(0)},
        confirmation, "", 0, Tree::parent_only},
    {"parent_absent", Tree::vendor_absent, {},
        {open_returns(2)},
        confirmation, "", 0, Tree::vendor_absent},
    {"open_refused", Tree::with_key, {{open, 5}},
        {open_returns(5)},
        "", cannot_open + "Access is denied. (error 5)\n", 1, Tree::with_key},
    {"open_fails_with_code_that_has_no_text", Tree::with_key, {{open, 1234}},
        {open_returns(1234)},
        "", cannot_open + "error 1234\n", 1, Tree::with_key},
    {"delete_refused", Tree::with_key, {{remove, 5}},
        {open_succeeds(), delete_returns(5), close_returns(0)},
        "", cannot_delete + "Access is denied. (error 5)\n", 1, Tree::with_key},
    {"key_with_subkeys", Tree::key_with_subkey, {},
        {open_succeeds(), delete_returns(5), close_returns(0)},
        "", cannot_delete + "Access is denied. (error 5)\n", 1, Tree::key_with_subkey},
    {"delete_fails_otherwise", Tree::with_key, {{remove, 6}},
        {open_succeeds(), delete_returns(6), close_returns(0)},
        "", cannot_delete + "The handle is invalid. (error 6)\n", 1, Tree::with_key},
    {"close_failing", Tree::with_key, {{close, 6}},
        {open_succeeds(), delete_returns(0), close_returns(6)},
        confirmation, "", 0, Tree::parent_only},
};

void PrintTo(const Scenario &s, std::ostream *os)
{
	*os << s.name;
}

std::string contents(std::FILE *f)
{
	std::fflush(f);
	std::rewind(f);
	std::string bytes;
	int c;
	while ((c = std::fgetc(f)) != EOF)
		bytes += static_cast<char>(c);
	return bytes;
}

class KeyRemoval : public ::testing::TestWithParam<Scenario> {
protected:
	void SetUp() override
	{
		hr::reset();
		out = std::tmpfile();
		err = std::tmpfile();
		ASSERT_TRUE(out && err);
	}
	void TearDown() override
	{
		hr::reset();
		std::fclose(out);
		std::fclose(err);
	}
	std::FILE *out = nullptr;
	std::FILE *err = nullptr;
};

TEST_P(KeyRemoval, Run)
{
	const Scenario &s = GetParam();
	std::string expected_after = dump_of(s.after);
	seed(s.before);
	hr::watch_output(out, err);
	for (const Forced &f : s.forced)
		hr::force_status(f.function, f.status);

	int status = remove_grindlevault(out, err);

	std::vector<std::string> calls;
	for (const hr::Call &c : hr::calls()) {
		calls.push_back(c.text);
		// The handle is closed before anything is said, success or failure.
		EXPECT_EQ(c.out_position, 0) << c.text;
		EXPECT_EQ(c.err_position, 0) << c.text;
	}
	EXPECT_EQ(calls, s.calls);
	EXPECT_EQ(hr::open_handles(), 0);
	EXPECT_EQ(contents(out), s.out);
	EXPECT_EQ(contents(err), s.err);
	EXPECT_EQ(status, s.status);
	EXPECT_EQ(hr::dump(), expected_after);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, KeyRemoval, ::testing::ValuesIn(scenarios),
    [](const ::testing::TestParamInfo<Scenario> &info) { return info.param.name; });

// A deletion that happened stays a success even when nobody can read the line.
TEST(KeyRemovalOutput, UnwritableOutputDoesNotFailACompletedDeletion)
{
	hr::reset();
	seed(Tree::with_key);
	std::FILE *out = std::fopen("/dev/null", "r");
	std::FILE *err = std::tmpfile();
	ASSERT_TRUE(out && err);

	EXPECT_EQ(remove_grindlevault(out, err), 0);
	EXPECT_FALSE(hr::key_exists(R"(Software\Calvorant\LoftWinder\GrindleVault)"));
	EXPECT_EQ(contents(err), "");
	std::fclose(out);
	std::fclose(err);
	hr::reset();
}

// The host program starts with an empty registry, so it always takes the
// "nothing to delete" path; what matters is that no argument changes that.
TEST(KeyRemovalArguments, AreIgnored)
{
	ProcessResult bare = run_process({HOST_PROGRAM});
	EXPECT_EQ(bare.out, confirmation);
	EXPECT_EQ(bare.err, "");
	EXPECT_EQ(bare.status, 0);

	const std::vector<std::vector<std::string>> argument_lists = {
	    {"/?"}, {"--help"}, {""}, {"Software\\Other", "/f"},
	    {"with space", "\"quoted\""}, {"\xc3\xa9t\xc3\xa9"}, {std::string(5000, 'x')}};
	for (const auto &arguments : argument_lists) {
		std::vector<std::string> argv = {HOST_PROGRAM};
		argv.insert(argv.end(), arguments.begin(), arguments.end());
		ProcessResult r = run_process(argv);
		EXPECT_EQ(r.out, bare.out) << arguments[0].substr(0, 20);
		EXPECT_EQ(r.err, bare.err) << arguments[0].substr(0, 20);
		EXPECT_EQ(r.status, bare.status) << arguments[0].substr(0, 20);
	}
}

}

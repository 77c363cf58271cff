// The acceptance tests: a Windows program that runs remove-grindlevault.exe
// against the machine's real registry, row by row, and checks what it wrote,
// its exit status and the registry afterwards. It runs unchanged on Windows
// and under Wine.
//
//   acceptance-tests.exe [--program=PATH] [--expected-skips=ROW,ROW...] [gtest flags]
//
// It works beneath Software\Calvorant only, and refuses to start where that
// key exists already, because it deletes the whole of it after every row.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <regex>
#include <set>
#include <source_location>
#include <string>
#include <vector>

namespace {

using Where = std::source_location;

std::wstring program;

// Where a key lives: a root and the registry view it is reached through.
struct Place {
	HKEY root;
	REGSAM view;
	const char *name;
};
const Place hklm_32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "HKLM (32-bit view)"};
const Place hklm_64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "HKLM (64-bit view)"};
const Place hkcu{HKEY_CURRENT_USER, 0, "HKCU"};

const wchar_t vendor[] = L"Software\\Calvorant";
const wchar_t parent[] = L"Software\\Calvorant\\LoftWinder";
const wchar_t the_key[] = L"Software\\Calvorant\\LoftWinder\\GrindleVault";
// Where UAC virtualization would put a copy of the vendor's HKLM keys.
const wchar_t virtual_store[] = L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Calvorant";
const wchar_t virtual_store_wow[] =
    L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Calvorant";

struct VendorKey {
	Place place;
	const wchar_t *path;
};
// Every place the vendor's keys, or copies of them, could be.
const VendorKey vendor_keys[] = {
    {hklm_32, vendor}, {hklm_64, vendor}, {hkcu, vendor},
    {hkcu, virtual_store}, {hkcu, virtual_store_wow}};

std::string utf8(const std::wstring &text)
{
	int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
	std::string out(size > 0 ? size - 1 : 0, '\0');
	if (size > 1)
		WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
	return out;
}

std::wstring lowercase(std::wstring text)
{
	for (wchar_t &c : text)
		c = static_cast<wchar_t>(std::towlower(c));
	return text;
}

bool key_exists(const Place &place, const std::wstring &path)
{
	HKEY key;
	if (RegOpenKeyExW(place.root, path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) != ERROR_SUCCESS)
		return false;
	RegCloseKey(key);
	return true;
}

LONG set_value(const Place &place, const std::wstring &path, const wchar_t *name, DWORD type,
    const void *data, DWORD size)
{
	HKEY key;
	LONG status = RegCreateKeyExW(place.root, path.c_str(), 0, nullptr, 0,
	    KEY_SET_VALUE | place.view, nullptr, &key, nullptr);
	if (status != ERROR_SUCCESS)
		return status;
	if (name)
		status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), size);
	RegCloseKey(key);
	return status;
}

LONG create_key(const Place &place, const std::wstring &path)
{
	return set_value(place, path, nullptr, 0, nullptr, 0);
}

LONG set_string(const Place &place, const std::wstring &path, const wchar_t *name, const wchar_t *data)
{
	return set_value(place, path, name, REG_SZ, data, static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> subkeys_of(HKEY key)
{
	std::vector<std::wstring> subkeys;
	wchar_t name[256];
	for (DWORD i = 0;; i++) {
		DWORD length = 256;
		if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
			break;
		subkeys.push_back(name);
	}
	return subkeys;
}

// Deletes the key and everything beneath it, staying in the place's view at
// every level.
LONG delete_tree(const Place &place, const std::wstring &path)
{
	HKEY key;
	LONG status = RegOpenKeyExW(place.root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | place.view, &key);
	if (status != ERROR_SUCCESS)
		return status;
	std::vector<std::wstring> subkeys = subkeys_of(key);
	RegCloseKey(key);
	for (const std::wstring &subkey : subkeys)
		delete_tree(place, path + L"\\" + subkey);
	return RegDeleteKeyExW(place.root, path.c_str(), place.view, 0);
}

// A key's security descriptor, to put back what a row changed.
std::vector<BYTE> key_security(const Place &place, const std::wstring &path)
{
	HKEY key;
	std::vector<BYTE> sd;
	if (RegOpenKeyExW(place.root, path.c_str(), 0, READ_CONTROL | place.view, &key) != ERROR_SUCCESS)
		return sd;
	DWORD size = 0;
	RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
	sd.resize(size);
	if (size == 0 || RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, sd.data(), &size) != ERROR_SUCCESS)
		sd.clear();
	RegCloseKey(key);
	return sd;
}

LONG set_key_security(const Place &place, const std::wstring &path, PSECURITY_DESCRIPTOR sd)
{
	HKEY key;
	LONG status = RegOpenKeyExW(place.root, path.c_str(), 0, WRITE_DAC | place.view, &key);
	if (status != ERROR_SUCCESS)
		return status;
	status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
	RegCloseKey(key);
	return status;
}

LONG set_key_security(const Place &place, const std::wstring &path, const wchar_t *sddl)
{
	PSECURITY_DESCRIPTOR sd;
	if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
		return static_cast<LONG>(GetLastError());
	LONG status = set_key_security(place, path, sd);
	LocalFree(sd);
	return status;
}

// Access masks in the DACLs that rows give keys, in SDDL.
// Everyone may change the DACL and delete, and nothing else: no one can read.
const wchar_t nobody_reads[] = L"D:P(A;;0x70000;;;WD)";
// Everyone may do everything but delete.
const wchar_t nobody_deletes[] = L"D:P(A;;0xe003f;;;WD)";
// Administrators may do everything, everyone else only read: what a
// standard user meets on a machine-wide key.
const wchar_t administrators_only[] = L"D:P(A;;KA;;;BA)(A;;KR;;;WD)";

// Starting a process with another token needs this privilege, which an
// administrator holds but has not enabled.
void enable_privilege(const wchar_t *name)
{
	HANDLE token;
	if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
		return;
	TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
	if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
		AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
	CloseHandle(token);
}

// A standard user's token made from ours: Administrators for deny only, no
// privileges, medium integrity.
HANDLE standard_user_token()
{
	HANDLE own, restricted = nullptr;
	if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &own))
		return nullptr;
	BYTE administrators[SECURITY_MAX_SID_SIZE];
	DWORD size = sizeof administrators;
	CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
	SID_AND_ATTRIBUTES deny_only{administrators, 0};
	BOOL made = CreateRestrictedToken(own, DISABLE_MAX_PRIVILEGE, 1, &deny_only, 0, nullptr, 0, nullptr, &restricted);
	CloseHandle(own);
	if (!made)
		return nullptr;
	BYTE medium[SECURITY_MAX_SID_SIZE];
	size = sizeof medium;
	if (CreateWellKnownSid(WinMediumLabelSid, nullptr, medium, &size)) {
		TOKEN_MANDATORY_LABEL label{{medium, SE_GROUP_INTEGRITY}};
		SetTokenInformation(restricted, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(medium));
	}
	// As a legacy program would get it: only the exe's manifest may turn
	// virtualization off again.
	DWORD enabled = 1;
	SetTokenInformation(restricted, TokenVirtualizationEnabled, &enabled, sizeof enabled);
	return restricted;
}

struct ProgramRun {
	std::string out;
	std::string err;
	DWORD status;
	std::string failure; // why the program could not be run, if it could not
};

std::string read_all(HANDLE pipe)
{
	std::string bytes;
	char buffer[4096];
	DWORD got;
	while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
		bytes.append(buffer, got);
	return bytes;
}

// Starts the exe with the command line given after its own quoted name, its
// standard output and error captured apart, standard input empty.
ProgramRun run_program(const std::wstring &exe, const std::wstring &arguments = L"", HANDLE token = nullptr,
    const std::wstring &folder = L"")
{
	ProgramRun result{"", "", 0, ""};
	SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
	HANDLE out_read, out_write, err_read, err_write;
	CreatePipe(&out_read, &out_write, &inherit, 1 << 16);
	CreatePipe(&err_read, &err_write, &inherit, 1 << 16);
	SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
	SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
	HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
	    OPEN_EXISTING, 0, nullptr);

	STARTUPINFOW startup{};
	startup.cb = sizeof startup;
	startup.dwFlags = STARTF_USESTDHANDLES;
	startup.hStdInput = in;
	startup.hStdOutput = out_write;
	startup.hStdError = err_write;
	std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
	std::vector<wchar_t> line(command.begin(), command.end());
	line.push_back(L'\0');
	const wchar_t *cwd = folder.empty() ? nullptr : folder.c_str();
	PROCESS_INFORMATION process;
	BOOL started = token
	    ? CreateProcessAsUserW(token, exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd, &startup, &process)
	    : CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd, &startup, &process);
	DWORD error = GetLastError();
	CloseHandle(out_write);
	CloseHandle(err_write);
	CloseHandle(in);
	if (!started) {
		result.failure = "cannot start " + utf8(exe) + ": error " + std::to_string(error);
	} else {
		if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
			TerminateProcess(process.hProcess, 255);
			WaitForSingleObject(process.hProcess, INFINITE);
			result.failure = "still running after 60 s";
		}
		GetExitCodeProcess(process.hProcess, &result.status);
		CloseHandle(process.hProcess);
		CloseHandle(process.hThread);
		result.out = read_all(out_read);
		result.err = read_all(err_read);
	}
	CloseHandle(out_read);
	CloseHandle(err_read);
	return result;
}

// Registry names compare without regard to case. Folding ASCII here, and
// only the rest through the C library, keeps the many comparisons of a
// snapshot cheap under emulation.
wchar_t folded(wchar_t c)
{
	if (c < 0x80)
		return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
	return static_cast<wchar_t>(std::towlower(c));
}

struct NameOrder {
	bool operator()(const std::wstring &a, const std::wstring &b) const
	{
		size_t n = std::min(a.size(), b.size());
		for (size_t i = 0; i < n; i++) {
			wchar_t x = folded(a[i]), y = folded(b[i]);
			if (x != y)
				return x < y;
		}
		return a.size() < b.size();
	}
};

// The registry as a map from each key's path to, beneath any Calvorant key,
// its values.
using Snapshot = std::map<std::wstring, std::string, NameOrder>;

bool is_vendors(const std::wstring &path)
{
	return lowercase(path + L"\\").find(L"\\calvorant\\") != std::wstring::npos;
}

std::string values_of(HKEY key)
{
	std::string values;
	for (DWORD i = 0;; i++) {
		wchar_t name[16384];
		BYTE data[4096];
		DWORD name_length = 16384, type, size = sizeof data;
		if (RegEnumValueW(key, i, name, &name_length, nullptr, &type, data, &size) != ERROR_SUCCESS)
			break;
		values += utf8(name) + " type " + std::to_string(type) + ":";
		for (DWORD b = 0; b < size; b++)
			values += " " + std::to_string(data[b]);
		values += "\n";
	}
	return values;
}

// Records the key and everything beneath it. Subkeys are opened through
// their parent's handle, which stays in the view the walk started in. The
// depth is bounded in case a registry link leads back up the tree.
void walk(HKEY from, const std::wstring &name, REGSAM view, const std::wstring &label, Snapshot &into,
    int depth = 0)
{
	HKEY key;
	std::string &values = into[label];
	// A key that cannot be opened still counts as there; what is beneath it
	// is beyond this program's view, as it is beyond the program's.
	if (depth > 64 || RegOpenKeyExW(from, name.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
		return;
	if (is_vendors(label))
		values = values_of(key);
	for (const std::wstring &subkey : subkeys_of(key))
		walk(key, subkey, view, label + L"\\" + subkey, into, depth + 1);
	RegCloseKey(key);
}

// HKLM\Software in the 64-bit view, which on 64-bit Windows holds the 32-bit
// one beneath WOW6432Node (on 32-bit Windows the two are one), and
// HKCU\Software.
Snapshot snapshot()
{
	Snapshot all;
	walk(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY, L"HKLM\\Software", all);
	walk(HKEY_CURRENT_USER, L"Software", 0, L"HKCU\\Software", all);
	return all;
}

bool is_within(const std::wstring &path, const std::wstring &key)
{
	if (path.size() < key.size() || (path.size() > key.size() && path[key.size()] != L'\\'))
		return false;
	for (size_t i = 0; i < key.size(); i++)
		if (folded(path[i]) != folded(key[i]))
			return false;
	return true;
}

// Walking the whole registry takes seconds under emulation, so a row walks
// only the parts where keys may have come or gone: the vendor's keys, and
// whatever the registry's own change notifications say changed while the
// program ran.
//
// The parts are the subtrees beneath HKLM\Software (beneath WOW6432Node,
// one level further) and HKCU\Software; the keys holding them are watched
// for subkeys coming or going directly beneath them.
struct Part {
	HKEY root;
	std::wstring path;
	REGSAM view;
	std::wstring label;
	bool holds_parts;
	HKEY key = nullptr;
	HANDLE event = nullptr;
};

class RegistryWatch {
public:
	RegistryWatch()
	{
		add_holder(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY, L"HKLM\\Software");
		add_holder(HKEY_CURRENT_USER, L"Software", 0, L"HKCU\\Software");
	}
	RegistryWatch(const RegistryWatch &) = delete;
	RegistryWatch &operator=(const RegistryWatch &) = delete;
	~RegistryWatch()
	{
		for (Part &part : parts_) {
			if (part.key)
				RegCloseKey(part.key);
			if (part.event)
				CloseHandle(part.event);
		}
	}

	// The earlier snapshot with every part that changed since the watch
	// began, and every vendor key, walked afresh.
	Snapshot refresh(const Snapshot &earlier) const
	{
		for (const Part &part : parts_)
			if (part.holds_parts && changed(part))
				return snapshot();
		Snapshot all;
		std::vector<const Part *> to_walk;
		for (const Part &part : parts_)
			if (!part.holds_parts && (changed(part) || is_vendors(part.label)))
				to_walk.push_back(&part);
		for (const auto &entry : earlier) {
			bool stale = std::any_of(to_walk.begin(), to_walk.end(),
			    [&](const Part *part) { return is_within(entry.first, part->label); });
			if (!stale)
				all.insert(all.end(), entry);
		}
		for (const Part *part : to_walk)
			walk(part->root, part->path, part->view, part->label, all);
		return all;
	}

private:
	void add_holder(HKEY root, const std::wstring &path, REGSAM view, const std::wstring &label)
	{
		HKEY key;
		if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
			return;
		std::vector<std::wstring> subkeys = subkeys_of(key);
		RegCloseKey(key);
		watch({root, path, view, label, true});
		for (const std::wstring &subkey : subkeys) {
			if (root == HKEY_LOCAL_MACHINE && path == L"Software" && lowercase(subkey) == L"wow6432node")
				add_holder(root, path + L"\\" + subkey, view, label + L"\\" + subkey);
			else
				watch({root, path + L"\\" + subkey, view, label + L"\\" + subkey, false});
		}
	}

	void watch(Part part)
	{
		// A part that cannot be watched is walked every time.
		if (RegOpenKeyExW(part.root, part.path.c_str(), 0, KEY_NOTIFY | part.view, &part.key) == ERROR_SUCCESS) {
			part.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
			if (RegNotifyChangeKeyValue(part.key, !part.holds_parts, REG_NOTIFY_CHANGE_NAME, part.event, TRUE) !=
			    ERROR_SUCCESS) {
				CloseHandle(part.event);
				part.event = nullptr;
			}
		}
		parts_.push_back(part);
	}

	static bool changed(const Part &part)
	{
		return !part.event || WaitForSingleObject(part.event, 0) == WAIT_OBJECT_0;
	}

	std::vector<Part> parts_;
};

// The whole registry as the last row left it.
Snapshot last_seen;

// What this platform enforces, found out once before the first row.
struct Platform {
	bool has_64_bit_view;
	bool delete_needs_the_right;
	bool standard_users_cannot_delete;
};
Platform platform;

// Where the program's key appears in a snapshot.
std::wstring snapshot_path_of_the_key()
{
	return platform.has_64_bit_view ? L"HKLM\\Software\\WOW6432Node\\Calvorant\\LoftWinder\\GrindleVault"
	                         : L"HKLM\\Software\\Calvorant\\LoftWinder\\GrindleVault";
}

// What differs from the expected registry, a line each. Only vendor keys
// must match exactly: elsewhere other software may write at any time, but
// nothing may vanish.
std::string differences(const Snapshot &expected, const Snapshot &actual)
{
	// Both are in the same order, so one pass over the two finds it all.
	std::string report;
	NameOrder before;
	auto e = expected.begin(), a = actual.begin();
	while (e != expected.end() || a != actual.end()) {
		if (a == actual.end() || (e != expected.end() && before(e->first, a->first))) {
			report += "gone: " + utf8(e->first) + "\n";
			++e;
		} else if (e == expected.end() || before(a->first, e->first)) {
			if (is_vendors(a->first))
				report += "appeared: " + utf8(a->first) + "\n";
			++a;
		} else {
			if (e->second != a->second)
				report += "changed: " + utf8(e->first) + "\nwas:\n" + e->second + "now:\n" + a->second;
			++e;
			++a;
		}
	}
	return report;
}

// The probes work on scratch keys beneath the vendor's key and delete it.
Platform probe_platform()
{
	Platform found{};
	std::wstring probe = std::wstring(vendor) + L"\\Probe";

	create_key(hklm_64, probe);
	found.has_64_bit_view = key_exists(hklm_64, probe) && !key_exists(hklm_32, probe);
	delete_tree(hklm_64, vendor);

	// Where the DACL holds, the probe key can be deleted only once it is
	// given back the DACL it was made with.
	create_key(hklm_32, probe);
	std::vector<BYTE> made_with = key_security(hklm_32, probe);
	set_key_security(hklm_32, probe, nobody_deletes);
	found.delete_needs_the_right =
	    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, probe.c_str(), KEY_WOW64_32KEY, 0) == ERROR_ACCESS_DENIED;
	if (found.delete_needs_the_right && !made_with.empty())
		set_key_security(hklm_32, probe, made_with.data());
	delete_tree(hklm_32, vendor);

	create_key(hklm_32, probe);
	set_key_security(hklm_32, probe, administrators_only);
	HANDLE token = standard_user_token();
	if (token && ImpersonateLoggedOnUser(token)) {
		found.standard_users_cannot_delete =
		    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, probe.c_str(), KEY_WOW64_32KEY, 0) == ERROR_ACCESS_DENIED;
		RevertToSelf();
	}
	if (token)
		CloseHandle(token);
	delete_tree(hklm_32, vendor);
	return found;
}

// What a row seeds, each holding the one before it: the parent with a value
// and a sibling key (and the current user's key of the same name, which a
// program reaching for the wrong root would take), then the program's key
// with values, then a subkey of it.
enum class Seed { nothing, parent, key, key_with_subkey };

// What a row does to the machine besides seeding it.
enum class Setup {
	none,
	parent_unreadable,  // the parent's DACL lets no one read it
	key_undeletable,    // the key's DACL lets no one delete it
	standard_user,      // the program runs with a standard user's token
	odd_folder,         // the program runs from a folder with spaces and non-ASCII letters
	arguments,          // the program runs with one command line after another
};

enum class Outcome {
	deleted,        // the confirmation line, exit 0, the key is gone
	nothing_to_do,  // the confirmation line, exit 0, nothing changed
	cannot_delete,  // the delete failed with error 5, exit 1, nothing changed
	cannot_open,    // the open of the parent failed with error 5, exit 1, nothing changed
};

struct Row {
	const char *name;
	Seed seed_32; // the view the program sees
	Seed seed_64; // the other view, where there is one
	Setup setup;
	int runs; // the last one is checked
	Outcome outcome;
};

const Row rows[] = {
    {"key_present", Seed::key, Seed::nothing, Setup::none, 1, Outcome::deleted},
    {"run_again_after_deletion", Seed::key, Seed::nothing, Setup::none, 2, Outcome::nothing_to_do},
    {"key_absent", Seed::parent, Seed::nothing, Setup::none, 1, Outcome::nothing_to_do},
    {"vendor_absent", Seed::nothing, Seed::nothing, Setup::none, 1, Outcome::nothing_to_do},
    {"key_with_subkey", Seed::key_with_subkey, Seed::nothing, Setup::none, 1, Outcome::cannot_delete},
    {"parent_unreadable", Seed::key, Seed::nothing, Setup::parent_unreadable, 1, Outcome::cannot_open},
    {"key_undeletable_by_its_dacl", Seed::key, Seed::nothing, Setup::key_undeletable, 1, Outcome::cannot_delete},
    {"standard_user", Seed::key, Seed::nothing, Setup::standard_user, 1, Outcome::cannot_delete},
    {"started_from_an_odd_folder", Seed::key, Seed::nothing, Setup::odd_folder, 1, Outcome::deleted},
    {"arguments_are_ignored", Seed::key, Seed::nothing, Setup::arguments, 1, Outcome::deleted},
    {"both_views_hold_the_key", Seed::key, Seed::key, Setup::none, 1, Outcome::deleted},
    {"only_the_64_bit_view_holds_it", Seed::nothing, Seed::key, Setup::none, 1, Outcome::nothing_to_do},
};

void PrintTo(const Row &row, std::ostream *os)
{
	*os << row.name;
}

const std::string confirmation = "Registry key Software\\Calvorant\\LoftWinder\\GrindleVault Deleted\r\n";
// The reason is the platform's own text, which Wine words differently.
const std::string cannot_delete =
    R"(remove-grindlevault: cannot delete Software\\Calvorant\\LoftWinder\\GrindleVault: [^\r\n]+ \(error 5\)\r\n)";
const std::string cannot_open =
    R"(remove-grindlevault: cannot open the parent of Software\\Calvorant\\LoftWinder\\GrindleVault: [^\r\n]+ \(error 5\)\r\n)";

// Command lines the program must ignore.
const wchar_t *const argument_lists[] = {
    L"/?", L"\"\"", L"\"with space\" \\\"quoted\\\" a\\\\\\\"b", L"\u00e9t\u00e9 \u65e5\u672c",
    L"Software\\Other /f --delete", L"--program=x HKLM\\Software\\Calvorant"};

std::wstring long_argument()
{
	return std::wstring(4000, L'x');
}

const wchar_t odd_folder_name[] = L"remove grindlevault \u00e9t\u00e9 \u65e5\u672c";

class Acceptance : public ::testing::TestWithParam<Row> {
protected:
	void TearDown() override
	{
		restore_security();
		for (const VendorKey &k : vendor_keys)
			delete_tree(k.place, k.path);
		for (const VendorKey &k : vendor_keys)
			if (key_exists(k.place, k.path))
				ADD_FAILURE() << "cannot clean up " << k.place.name << "\\" << utf8(k.path);
		if (!folder_.empty()) {
			DeleteFileW((folder_ + L"\\remove-grindlevault.exe").c_str());
			if (!RemoveDirectoryW(folder_.c_str()))
				ADD_FAILURE() << "cannot remove " << utf8(folder_);
		}
	}

	void must(LONG status, const char *what, Where where = Where::current())
	{
		if (status != ERROR_SUCCESS)
			ADD_FAILURE_AT(where.file_name(), where.line()) << what << ": error " << status;
	}

	void seed(const Place &place, Seed seed, Where where = Where::current())
	{
		if (seed == Seed::nothing)
			return;
		must(set_string(place, parent, L"InstallDir", L"C:\\LoftWinder"), "seeding the parent", where);
		must(set_string(place, std::wstring(parent) + L"\\Settings", L"Theme", L"dark"), "seeding a sibling", where);
		must(set_string(hkcu, the_key, L"Version", L"per-user"), "seeding HKCU", where);
		if (seed == Seed::parent)
			return;
		seed_the_key(place, where);
		if (seed == Seed::key)
			return;
		must(set_string(place, std::wstring(the_key) + L"\\Plugins", L"Enabled", L"1"), "seeding a subkey", where);
	}

	void seed_the_key(const Place &place, Where where = Where::current())
	{
		must(set_string(place, the_key, L"Version", L"2.1"), "seeding the key", where);
		DWORD build = 42;
		must(set_value(place, the_key, L"Build", REG_DWORD, &build, sizeof build), "seeding the key", where);
	}

	void restrict(const Place &place, const wchar_t *path, const wchar_t *sddl, Where where = Where::current())
	{
		std::vector<BYTE> saved = key_security(place, path);
		if (saved.empty()) {
			ADD_FAILURE_AT(where.file_name(), where.line()) << "cannot read the DACL of " << utf8(path);
			return;
		}
		restricted_.push_back({place, path, saved});
		must(set_key_security(place, path, sddl), "setting a DACL", where);
	}

	void restore_security()
	{
		for (auto it = restricted_.rbegin(); it != restricted_.rend(); ++it)
			if (set_key_security(it->place, it->path, it->sd.data()) != ERROR_SUCCESS)
				ADD_FAILURE() << "cannot put back the DACL of " << utf8(it->path);
		restricted_.clear();
	}

	// A copy of the program in a folder of its own, whose path has spaces and
	// letters beyond ASCII.
	std::wstring odd_folder()
	{
		wchar_t temp[MAX_PATH];
		GetTempPathW(MAX_PATH, temp);
		folder_ = std::wstring(temp) + odd_folder_name;
		if (!CreateDirectoryW(folder_.c_str(), nullptr))
			ADD_FAILURE() << "cannot make " << utf8(folder_) << ": error " << GetLastError();
		std::wstring copy = folder_ + L"\\remove-grindlevault.exe";
		if (!CopyFileW(program.c_str(), copy.c_str(), TRUE))
			ADD_FAILURE() << "cannot copy the program to " << utf8(copy) << ": error " << GetLastError();
		return copy;
	}

	void expect_outcome(const ProgramRun &r, Outcome outcome, const std::string &label = "",
	    Where where = Where::current())
	{
		::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), label);
		EXPECT_EQ(r.failure, "") << label;
		bool fails = outcome == Outcome::cannot_delete || outcome == Outcome::cannot_open;
		EXPECT_EQ(r.out, fails ? "" : confirmation) << label;
		std::string err = outcome == Outcome::cannot_delete ? cannot_delete
		    : outcome == Outcome::cannot_open                ? cannot_open
		                                                     : "";
		EXPECT_TRUE(std::regex_match(r.err, std::regex(err))) << label << " stderr: " << r.err;
		EXPECT_EQ(r.status, fails ? 1u : 0u) << label;
	}

	struct Restricted {
		Place place;
		std::wstring path;
		std::vector<BYTE> sd;
	};
	std::vector<Restricted> restricted_;
	std::wstring folder_;
};

TEST_P(Acceptance, Run)
{
	const Row &row = GetParam();
	if (row.seed_64 != Seed::nothing && !platform.has_64_bit_view)
		GTEST_SKIP() << "this registry has one view: a key made in the 64-bit view shows in the 32-bit one";
	if (row.setup == Setup::key_undeletable && !platform.delete_needs_the_right)
		GTEST_SKIP() << "this registry lets a key be deleted without the DELETE right";
	if (row.setup == Setup::standard_user && !platform.standard_users_cannot_delete)
		GTEST_SKIP() << "this registry lets a standard user's token delete a key that only administrators may";

	seed(hklm_32, row.seed_32);
	seed(hklm_64, row.seed_64);
	if (row.setup == Setup::standard_user)
		restrict(hklm_32, the_key, administrators_only);
	ASSERT_FALSE(HasFailure()) << "the seed did not take";
	// The row's own key is the one it may remove; nothing else may go.
	bool removes = row.outcome == Outcome::deleted || row.runs > 1;
	Snapshot before = RegistryWatch().refresh(last_seen);
	if (removes) {
		ASSERT_TRUE(before.count(snapshot_path_of_the_key())) << "the seed has no key to delete";
	}

	RegistryWatch watch;
	if (row.setup == Setup::parent_unreadable)
		restrict(hklm_32, parent, nobody_reads);
	if (row.setup == Setup::key_undeletable)
		restrict(hklm_32, the_key, nobody_deletes);

	if (row.setup == Setup::arguments) {
		std::vector<std::wstring> lines(std::begin(argument_lists), std::end(argument_lists));
		lines.push_back(long_argument());
		for (const std::wstring &arguments : lines) {
			std::string label = "with " + utf8(arguments.substr(0, 24));
			if (!key_exists(hklm_32, the_key))
				seed_the_key(hklm_32);
			expect_outcome(run_program(program, arguments), row.outcome, label);
			EXPECT_FALSE(key_exists(hklm_32, the_key)) << label << ": the key is still there";
		}
	} else {
		HANDLE token = row.setup == Setup::standard_user ? standard_user_token() : nullptr;
		if (row.setup == Setup::standard_user) {
			ASSERT_NE(token, nullptr) << "cannot make a standard user's token";
		}
		std::wstring exe = row.setup == Setup::odd_folder ? odd_folder() : program;
		std::wstring folder = row.setup == Setup::odd_folder ? folder_ : L"";
		ProgramRun r;
		for (int i = 0; i < row.runs; i++)
			r = run_program(exe, L"", token, folder);
		if (token)
			CloseHandle(token);
		expect_outcome(r, row.outcome);
	}

	restore_security();
	last_seen = watch.refresh(before);
	Snapshot &expected = before;
	if (removes)
		expected.erase(snapshot_path_of_the_key());
	EXPECT_EQ(differences(expected, last_seen), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, Acceptance, ::testing::ValuesIn(rows),
    [](const ::testing::TestParamInfo<Row> &info) { return info.param.name; });

bool starts_with(const std::wstring &text, const std::wstring &prefix)
{
	return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring own_folder()
{
	wchar_t path[MAX_PATH];
	DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
	std::wstring own(path, length);
	return own.substr(0, own.find_last_of(L"\\/") + 1);
}

std::set<std::string> split(const std::string &list)
{
	std::set<std::string> names;
	size_t start = 0;
	while (start <= list.size()) {
		size_t end = std::min(list.find(',', start), list.size());
		if (end > start)
			names.insert(list.substr(start, end - start));
		start = end + 1;
	}
	return names;
}

// A skip is a failure unless the run was told to expect it, and an expected
// skip that did not happen is one too, so that the list stays true.
int check_skips(const std::set<std::string> &expected)
{
	int mismatches = 0;
	const ::testing::UnitTest &unit = *::testing::UnitTest::GetInstance();
	for (int i = 0; i < unit.total_test_suite_count(); i++) {
		const ::testing::TestSuite &suite = *unit.GetTestSuite(i);
		for (int j = 0; j < suite.total_test_count(); j++) {
			const ::testing::TestInfo &test = *suite.GetTestInfo(j);
			if (!test.should_run())
				continue;
			std::string row = test.value_param() ? test.value_param() : test.name();
			bool skipped = test.result()->Skipped();
			if (skipped && !expected.count(row)) {
				std::printf("acceptance-tests: row %s was skipped, but no skip was expected for it\n", row.c_str());
				mismatches++;
			} else if (!skipped && expected.count(row)) {
				std::printf("acceptance-tests: row %s ran, but it was expected to skip here\n", row.c_str());
				mismatches++;
			}
		}
	}
	return mismatches;
}

}

int wmain(int argc, wchar_t **argv)
{
	::testing::InitGoogleTest(&argc, argv);
	program = own_folder() + L"remove-grindlevault.exe";
	bool check = false;
	std::set<std::string> expected_skips;
	for (int i = 1; i < argc; i++) {
		std::wstring arg = argv[i];
		if (starts_with(arg, L"--program=")) {
			program = arg.substr(10);
		} else if (starts_with(arg, L"--expected-skips=")) {
			check = true;
			expected_skips = split(utf8(arg.substr(17)));
		} else {
			std::printf("acceptance-tests: unknown option %s\n", utf8(arg).c_str());
			return 2;
		}
	}
	if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
		std::printf("acceptance-tests: no program at %s (give --program=PATH)\n", utf8(program).c_str());
		return 2;
	}
	for (const VendorKey &k : vendor_keys) {
		if (key_exists(k.place, k.path)) {
			std::printf("acceptance-tests: refusing to run: %s\\%s exists, and every row deletes it; "
			            "run this on a test machine without the vendor's keys\n",
			    k.place.name, utf8(k.path).c_str());
			return 2;
		}
	}
	enable_privilege(L"SeIncreaseQuotaPrivilege");
	platform = probe_platform();
	std::printf("acceptance-tests: %s, %s, %s\n",
	    platform.has_64_bit_view ? "two registry views" : "one registry view",
	    platform.delete_needs_the_right ? "DELETE enforced" : "DELETE not enforced",
	    platform.standard_users_cannot_delete ? "token groups enforced" : "token groups not enforced");
	last_seen = snapshot();
	int status = RUN_ALL_TESTS();
	if (check && check_skips(expected_skips) > 0)
		status = 1;
	return status;
}

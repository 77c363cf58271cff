#include "host_registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <sstream>

namespace {

struct Key {
	std::string name;
	std::map<std::string, std::string> values;
	std::vector<std::unique_ptr<Key>> subkeys;
};

}

// What an HKEY handed out by the stand-in points at.
struct host_registry_key {
	Key *key;
	int number;
	bool open;
};

namespace host_registry {
namespace {

struct State {
	Key hklm;
	// Deleted keys are kept alive so that a stale handle is reported, not
	// dereferenced.
	std::vector<std::unique_ptr<Key>> deleted;
	std::deque<host_registry_key> handles;
	std::map<Function, LONG> forced;
	std::vector<Call> calls;
	std::FILE *out = nullptr;
	std::FILE *err = nullptr;
};

State &state()
{
	static State s;
	return s;
}

std::string lowercase(std::string s)
{
	for (char &c : s)
		c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
	return s;
}

// Registry names compare without regard to case, as Windows' do.
std::vector<std::unique_ptr<Key>>::iterator find_subkey(Key &key, const std::string &name)
{
	return std::find_if(key.subkeys.begin(), key.subkeys.end(),
	    [&](const std::unique_ptr<Key> &k) { return lowercase(k->name) == lowercase(name); });
}

std::vector<std::string> split(const std::string &path)
{
	std::vector<std::string> parts;
	std::string part;
	std::istringstream in(path);
	while (std::getline(in, part, '\\'))
		parts.push_back(part);
	return parts;
}

Key *walk(Key *from, const std::vector<std::string> &parts)
{
	for (const std::string &part : parts) {
		auto found = find_subkey(*from, part);
		if (part.empty() || found == from->subkeys.end())
			return nullptr;
		from = found->get();
	}
	return from;
}

Key *resolve(HKEY handle)
{
	if (handle == HKEY_LOCAL_MACHINE)
		return &state().hklm;
	for (host_registry_key &h : state().handles)
		if (&h == handle)
			return h.open ? h.key : nullptr;
	return nullptr;
}

std::string name_of(HKEY handle)
{
	if (handle == HKEY_LOCAL_MACHINE)
		return "HKLM";
	for (host_registry_key &h : state().handles)
		if (&h == handle)
			return "h" + std::to_string(h.number);
	return "invalid";
}

std::string quoted(LPCSTR s)
{
	return s ? "\"" + std::string(s) + "\"" : "NULL";
}

long position(std::FILE *f)
{
	return f ? std::ftell(f) : -1;
}

LONG log(Function function, const std::string &text, LONG status)
{
	State &s = state();
	s.calls.push_back({function, text + " = " + std::to_string(status),
	    position(s.out), position(s.err)});
	return status;
}

bool forced(Function function, LONG *status)
{
	auto f = state().forced.find(function);
	if (f == state().forced.end())
		return false;
	*status = f->second;
	return true;
}

void dump(const Key &key, const std::string &path, std::string &out)
{
	if (!path.empty()) {
		out += path + "\n";
		for (const auto &v : key.values)
			out += "  " + v.first + " = " + v.second + "\n";
	}
	std::vector<const Key *> sorted;
	for (const auto &k : key.subkeys)
		sorted.push_back(k.get());
	std::sort(sorted.begin(), sorted.end(),
	    [](const Key *a, const Key *b) { return lowercase(a->name) < lowercase(b->name); });
	for (const Key *k : sorted)
		dump(*k, path.empty() ? k->name : path + "\\" + k->name, out);
}

}

void reset()
{
	state() = State{};
}

void add_key(const std::string &path)
{
	Key *key = &state().hklm;
	for (const std::string &part : split(path)) {
		auto found = find_subkey(*key, part);
		if (found == key->subkeys.end()) {
			key->subkeys.push_back(std::make_unique<Key>());
			key->subkeys.back()->name = part;
			key = key->subkeys.back().get();
		} else {
			key = found->get();
		}
	}
}

void set_value(const std::string &path, const std::string &name, const std::string &data)
{
	add_key(path);
	walk(&state().hklm, split(path))->values[name] = data;
}

bool key_exists(const std::string &path)
{
	return walk(&state().hklm, split(path)) != nullptr;
}

std::string dump()
{
	std::string out;
	dump(state().hklm, "", out);
	return out;
}

void force_status(Function function, LONG status)
{
	state().forced[function] = status;
}

void watch_output(std::FILE *out, std::FILE *err)
{
	state().out = out;
	state().err = err;
}

const std::vector<Call> &calls()
{
	return state().calls;
}

int open_handles()
{
	return static_cast<int>(std::count_if(state().handles.begin(), state().handles.end(),
	    [](const host_registry_key &h) { return h.open; }));
}

}

using namespace host_registry;

LONG RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM desired, PHKEY result)
{
	std::ostringstream text;
	text << "RegOpenKeyExA(" << name_of(key) << ", " << quoted(subkey) << ", " << options
	     << ", 0x" << std::hex << desired << ")";
	// A caller that uses the handle after a failed open must show up in the log.
	*result = reinterpret_cast<HKEY>(std::uintptr_t{0xdead});

	LONG status;
	if (forced(Function::RegOpenKeyExA, &status))
		return log(Function::RegOpenKeyExA, text.str(), status);
	Key *from = resolve(key);
	if (!from)
		return log(Function::RegOpenKeyExA, text.str(), ERROR_INVALID_HANDLE);
	Key *found = walk(from, split(subkey ? subkey : ""));
	if (!found)
		return log(Function::RegOpenKeyExA, text.str(), ERROR_FILE_NOT_FOUND);

	State &s = state();
	s.handles.push_back({found, static_cast<int>(s.handles.size()) + 1, true});
	*result = &s.handles.back();
	return log(Function::RegOpenKeyExA, text.str() + " -> " + name_of(*result), ERROR_SUCCESS);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subkey)
{
	std::string text = "RegDeleteKeyA(" + name_of(key) + ", " + quoted(subkey) + ")";
	LONG status;
	if (forced(Function::RegDeleteKeyA, &status))
		return log(Function::RegDeleteKeyA, text, status);
	Key *from = resolve(key);
	if (!from)
		return log(Function::RegDeleteKeyA, text, ERROR_INVALID_HANDLE);
	std::vector<std::string> parts = split(subkey ? subkey : "");
	if (parts.empty())
		return log(Function::RegDeleteKeyA, text, ERROR_ACCESS_DENIED);
	std::string name = parts.back();
	parts.pop_back();
	Key *parent = walk(from, parts);
	auto victim = parent ? find_subkey(*parent, name) : from->subkeys.end();
	if (!parent || victim == parent->subkeys.end())
		return log(Function::RegDeleteKeyA, text, ERROR_FILE_NOT_FOUND);
	// As on Windows: a key with subkeys is refused, not deleted with them.
	if (!(*victim)->subkeys.empty())
		return log(Function::RegDeleteKeyA, text, ERROR_ACCESS_DENIED);
	state().deleted.push_back(std::move(*victim));
	parent->subkeys.erase(victim);
	return log(Function::RegDeleteKeyA, text, ERROR_SUCCESS);
}

LONG RegCloseKey(HKEY key)
{
	std::string text = "RegCloseKey(" + name_of(key) + ")";
	host_registry_key *handle = nullptr;
	for (host_registry_key &h : state().handles)
		if (&h == key && h.open)
			handle = &h;
	// Even a close that reports failure releases the handle, so a forced
	// status does not pose as a leak.
	if (handle)
		handle->open = false;
	LONG status;
	if (!forced(Function::RegCloseKey, &status))
		status = handle ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
	return log(Function::RegCloseKey, text, status);
}

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD size,
    std::va_list *)
{
	static const std::map<DWORD, const char *> messages = {
		{ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
		{ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
		{ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
	};
	auto m = messages.find(message_id);
	if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || m == messages.end() ||
	    std::strlen(m->second) >= size)
		return 0;
	std::strcpy(buffer, m->second);
	return static_cast<DWORD>(std::strlen(buffer));
}

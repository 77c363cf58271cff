// Control over the in-memory registry behind the host stand-in: tests seed
// keys, force any call's status and read back every call that was made.
#ifndef HOST_REGISTRY_H
#define HOST_REGISTRY_H

#include <cstdio>
#include <string>
#include <vector>

#include "windows.h"

namespace host_registry {

enum class Function { RegOpenKeyExA, RegDeleteKeyA, RegCloseKey };

struct Call {
	Function function;
	// The call as one line: its arguments and result, handles named h1, h2...
	// in the order they were handed out, the root as HKLM.
	std::string text;
	// Bytes the watched streams held when the call was made.
	long out_position;
	long err_position;
};

// Back to an empty HKLM: no keys, no handles, no log, nothing forced.
void reset();

// Creates the key (and any missing keys above it) beneath HKLM.
void add_key(const std::string &path);
void set_value(const std::string &path, const std::string &name, const std::string &data);
bool key_exists(const std::string &path);

// Every key beneath HKLM with its values, one per line, in a fixed order.
std::string dump();

// The next calls of the function return status and do nothing else.
void force_status(Function function, LONG status);

void watch_output(std::FILE *out, std::FILE *err);
const std::vector<Call> &calls();
int open_handles();

}

#endif

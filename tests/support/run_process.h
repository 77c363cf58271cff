#ifndef RUN_PROCESS_H
#define RUN_PROCESS_H

#include <string>
#include <vector>

struct ProcessResult {
	std::string out;
	std::string err;
	// The exit status, or 128 plus the signal that ended the process.
	int status;
};

// Runs argv[0] (searched on PATH) with stdin from /dev/null and returns
// exactly the bytes it wrote.
ProcessResult run_process(const std::vector<std::string> &argv);

std::string read_file(const std::string &path);

#endif

#include "run_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace {

std::string temporary_file()
{
	char path[] = "/tmp/run-process-XXXXXX";
	int fd = mkstemp(path);
	if (fd < 0)
		throw std::runtime_error("mkstemp failed");
	close(fd);
	return path;
}

}

std::string read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream bytes;
	bytes << in.rdbuf();
	return bytes.str();
}

ProcessResult run_process(const std::vector<std::string> &argv)
{
	std::string out_path = temporary_file(), err_path = temporary_file();
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_TRUNC, 0);
	posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_TRUNC, 0);

	std::vector<char *> args;
	for (const std::string &a : argv)
		args.push_back(const_cast<char *>(a.c_str()));
	args.push_back(nullptr);

	pid_t pid;
	int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	ProcessResult result{"", "", 127};
	if (spawned == 0) {
		int status;
		waitpid(pid, &status, 0);
		result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	} else {
		result.err = "cannot start " + argv[0];
	}
	result.out = read_file(out_path);
	result.err += read_file(err_path);
	std::remove(out_path.c_str());
	std::remove(err_path.c_str());
	return result;
}

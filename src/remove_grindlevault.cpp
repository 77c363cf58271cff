#include <windows.h>

#include <cstdio>
#include <cstring>

#include "remove_grindlevault.h"

static const char program_name[] = "remove-grindlevault";
static const char parent_key_path[] = "Software\\Calvorant\\LoftWinder";
static const char application_key_name[] = "GrindleVault";
static const char reported_key_path[] = "Software\\Calvorant\\LoftWinder\\GrindleVault";

// One line on err: what could not be done to the key, the platform's own
// words for why (first line only, so the diagnostic stays one line), and
// the code, which is what people search for.
static void report_failure(std::FILE *err, const char *what, LONG status)
{
	char reason[256];
	DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
	    NULL, status, 0, reason, sizeof reason, NULL);

	if (length == 0) {
		std::fprintf(err, "%s: %s %s: error %lu\n", program_name, what,
		    reported_key_path, (unsigned long)status);
		return;
	}
	reason[std::strcspn(reason, "\r\n")] = '\0';
	for (size_t end = std::strlen(reason); end > 0 && reason[end - 1] == ' '; end--)
		reason[end - 1] = '\0';
	std::fprintf(err, "%s: %s %s: %s (error %lu)\n", program_name, what,
	    reported_key_path, reason, (unsigned long)status);
}

int remove_grindlevault(std::FILE *out, std::FILE *err)
{
	HKEY parent;
	LONG status;

	status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent_key_path, 0, KEY_READ, &parent);
	if (status == ERROR_SUCCESS) {
		status = RegDeleteKeyA(parent, application_key_name);
		// Nothing useful can be done about a failed close of a read handle.
		RegCloseKey(parent);
		if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
			report_failure(err, "cannot delete", status);
			return 1;
		}
	} else if (status != ERROR_FILE_NOT_FOUND) {
		report_failure(err, "cannot open the parent of", status);
		return 1;
	}

	// A key that is already gone is the state the caller asked for, so reruns
	// succeed. A failed write cannot undo the deletion, so it does not change
	// the status.
	std::fprintf(out, "Registry key %s Deleted\n", reported_key_path);
	return 0;
}

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "remove_grindlevault.h"

static const char parent_key_path[] = "Software\\Calvorant\\LoftWinder";
static const char application_key_name[] = "GrindleVault";
static const char reported_key_path[] = "Software\\Calvorant\\LoftWinder\\GrindleVault";

// Each line is put together here and written with one fputs: any
// printf-family call would link MinGW's own printf, which triples the size
// of the exe.
static char *append(char *at, const char *text)
{
	while ((*at = *text++) != '\0')
		at++;
	return at;
}

// One line on err: what could not be done to the key, the platform's own
// words for why (first line only, so the diagnostic stays one line), and
// the code, which is what people search for.
static void report_failure(std::FILE *err, const char *what, LONG status)
{
	char line[400];
	char *reason = append(append(append(line, "remove-grindlevault: "), what), reported_key_path);
	reason = append(reason, ": ");
	DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
	    NULL, status, 0, reason, 256, NULL);
	reason[length] = '\0';
	char *at = reason + std::strcspn(reason, "\r\n");
	while (at > reason && at[-1] == ' ')
		at--;
	at = append(at, length != 0 ? " (error " : "error ");

	char code[12];
	char *digits = code + sizeof code;
	*--digits = '\0';
	unsigned long n = (unsigned long)status;
	do
		*--digits = (char)('0' + n % 10);
	while (n /= 10);
	append(append(at, digits), length != 0 ? ")\n" : "\n");
	std::fputs(line, err);
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
			report_failure(err, "cannot delete ", status);
			return 1;
		}
	} else if (status != ERROR_FILE_NOT_FOUND) {
		report_failure(err, "cannot open the parent of ", status);
		return 1;
	}

	// A key that is already gone is the state the caller asked for, so reruns
	// succeed. A failed write cannot undo the deletion, so it does not change
	// the status.
	char line[64];
	append(append(append(line, "Registry key "), reported_key_path), " Deleted\n");
	std::fputs(line, out);
	return 0;
}

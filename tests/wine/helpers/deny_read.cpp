// Test helper: gives the key beneath HKLM named by the argument an empty
// DACL, so that nobody may open it, which `reg` cannot do.
#include <windows.h>
#include <aclapi.h>

#include <cstdio>

int main(int argc, char **argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: deny-read key-path-beneath-HKLM\n");
		return 2;
	}
	HKEY key;
	LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, WRITE_DAC, &key);
	if (status != ERROR_SUCCESS) {
		std::fprintf(stderr, "deny-read: cannot open %s: error %ld\n", argv[1], status);
		return 1;
	}
	ACL empty;
	InitializeAcl(&empty, sizeof empty, ACL_REVISION);
	DWORD set = SetSecurityInfo(key, SE_REGISTRY_KEY,
	    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
	    NULL, NULL, &empty, NULL);
	RegCloseKey(key);
	if (set != ERROR_SUCCESS) {
		std::fprintf(stderr, "deny-read: cannot set the DACL of %s: error %lu\n", argv[1], set);
		return 1;
	}
	return 0;
}

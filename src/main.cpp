#include <cstdio>

#include "remove_grindlevault.h"

// Arguments and environment are deliberately not read: the tool has one job.
int main()
{
	return remove_grindlevault(stdout, stderr);
}

/*
 * fuzz_resultsreader.cpp --
 *
 *	libFuzzer target for the results reader: any file content, read entry
 *	by entry until the reader stops, must end in one of its codes without
 *	a crash, an overrun or a leak. The input goes through a real temporary
 *	file so that the reader's file-size check runs as it does in use.
 */

#include "directory/resultRecord.h"
#include "directory/resultsFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = tmpfile();
    if (f == nullptr) {
	return 0;
    }
    fwrite(data, 1, size, f);
    rewind(f);

    ResultRecord record;
    int code;
    /* Every successful read consumes at least one byte, so this ends. */
    size_t entries = 0;
    while ((code = readResultEntry(f, record)) == HK_RESULTS_OK) {
	record.forEach([](const std::string &name, const AttributeValue &value) {
	    if (name.empty() || name.size() > HK_RESULTS_NAME_MAX
		    || value.bytes()[value.length()] != '\0') {
		abort();
	    }
	});
	if (++entries > size) {
	    abort();
	}
    }
    fclose(f);

    switch (code) {
    case HK_RESULTS_END:
    case HK_RESULTS_BAD_LENGTH:
    case HK_RESULTS_NO_MEMORY:
    case HK_RESULTS_SHORT_VALUE:
	return 0;
    default:
	abort();
    }
}

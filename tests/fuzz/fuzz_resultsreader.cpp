/*
 * fuzz_resultsreader.cpp --
 *
 *	libFuzzer target for the results reader: any file content, read entry
 *	by entry until the reader stops, must end in one of its codes without
 *	a crash, an overrun or a leak. The input goes through a real temporary
 *	file, read twice: bounded by its size, as the search context reads a
 *	results file, and without a bound, as from a pipe, the one replacing
 *	repeated names and the other collecting their values.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace hkdir;

namespace {

void
readAll(ResultsReader &reader, size_t size)
{
    ResultRecord record;
    int code;
    /* Every successful read consumes at least one byte, so this ends. */
    size_t entries = 0;
    while ((code = reader.readEntry(record)) == HK_RESULTS_OK) {
	for (const auto &field : record) {
	    for (size_t i = 0; i < field.second.count(); i++) {
		const AttributeValue &value = field.second[i];
		if (value.bytes()[value.length()] != '\0') {
		    abort();
		}
	    }
	}
	if (++entries > size) {
	    abort();
	}
    }
    switch (code) {
    case HK_RESULTS_END:
    case HK_RESULTS_BAD_LENGTH:
    case HK_RESULTS_NO_MEMORY:
    case HK_RESULTS_SHORT_VALUE:
	break;
    default:
	abort();
    }
    /* The end stays the end. */
    if (code == HK_RESULTS_END && reader.readEntry(record) != HK_RESULTS_END) {
	abort();
    }
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = tmpfile();
    if (f == nullptr) {
	return 0;
    }
    fwrite(data, 1, size, f);

    rewind(f);
    {
	ResultsReader bounded(f, size);
	readAll(bounded, size);
    }
    rewind(f);
    {
	ResultsReader unbounded(f);
	unbounded.collectValues(true);
	readAll(unbounded, size);
    }
    fclose(f);
    return 0;
}

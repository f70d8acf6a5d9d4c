/*
 * main.cpp --
 *
 *	Benchmark of the search results file: "write FILE N" writes N entries
 *	of seven person attributes with the writer; "read FILE" parses the
 *	file entry by entry with the reader, bounded by the bytes the file has
 *	left as the search context reads it, best of five runs, and prints the
 *	entry count, the time and the entries per second.
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/resultsFilePlatform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace hkdir;

namespace {

int
writeEntries(const char *path, long count)
{
    FILE *out = fopen(path, "w");
    if (out == nullptr) {
	perror(path);
	return 1;
    }
    char cn[64], given[32], sn[32], phone[32], mail[96], mobile[32];
    for (long i = 0; i < count; i++) {
	snprintf(given, sizeof given, "Given%ld", i % 997);
	snprintf(sn, sizeof sn, "Surname%ld", i);
	snprintf(cn, sizeof cn, "%s %s", given, sn);
	snprintf(phone, sizeof phone, "+1 555 %07ld", i);
	snprintf(mail, sizeof mail, "%s.%s@example.com", given, sn);
	snprintf(mobile, sizeof mobile, "+1 666 %07ld", i);
	writeAttributeField(out, "cn", cn, strlen(cn));
	writeAttributeField(out, "givenName", given, strlen(given));
	writeAttributeField(out, "middleInitial", "Q", 1);
	writeAttributeField(out, "sn", sn, strlen(sn));
	writeAttributeField(out, "telephoneNumber", phone, strlen(phone));
	writeAttributeField(out, "mail", mail, strlen(mail));
	writeAttributeField(out, "mobile", mobile, strlen(mobile));
	writeEntryEnd(out);
    }
    return fclose(out) == 0 ? 0 : 1;
}

int
readEntries(const char *path)
{
    double best = 1e30;
    long entries = 0;
    int code = 0;
    for (int run = 0; run < 5; run++) {
	FILE *in = fopen(path, "r");
	if (in == nullptr) {
	    perror(path);
	    return 1;
	}
	auto start = std::chrono::steady_clock::now();
	uint64_t left = 0;
	if (!HkpStreamBytesLeft(in, &left)) {
	    fprintf(stderr, "%s: no size\n", path);
	    return 1;
	}
	ResultsReader reader(in, left);
	ResultRecord record;
	entries = 0;
	while ((code = reader.readEntry(record)) == HK_RESULTS_OK) {
	    entries++;
	}
	double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	fclose(in);
	if (seconds < best) {
	    best = seconds;
	}
    }
    printf("entries %ld end-code %d seconds %.4f entries/s %.0f\n", entries, code, best,
	    entries / best);
    return code == HK_RESULTS_END ? 0 : 1;
}

} // namespace

int
main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "write") == 0) {
	return writeEntries(argv[2], atol(argv[3]));
    }
    if (argc == 3 && strcmp(argv[1], "read") == 0) {
	return readEntries(argv[2]);
    }
    fprintf(stderr, "usage: %s write FILE N | read FILE\n", argv[0]);
    return 2;
}

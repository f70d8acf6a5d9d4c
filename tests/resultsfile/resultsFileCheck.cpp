/*
 * resultsFileCheck.cpp --
 *
 *	hkresultsfile: a small program that the results file tests start on
 *	each system. It writes search results files through the writer with
 *	text streams, as the search does, reads them back through the reader
 *	from the platform's read streams, joining CR LF where the platform
 *	says so and bounded by its count of bytes left, as the search context does,
 *	and prints one line per check: "NAME ok" or "NAME FAIL detail". On
 *	Windows this is where the run-time library's CR LF translation meets
 *	the reader, and where a search's claim on its file meets the system.
 *	Also prints the on-disk bytes of the 45-byte example line.
 *
 *	Usage: hkresultsfile FOLDER
 */

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/resultsFilePlatform.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using hkdir::HK_RESULTS_END;
using hkdir::HK_RESULTS_OK;
using hkdir::HK_RESULTS_SHORT_VALUE;
using hkdir::ResultRecord;
using hkdir::ResultsReader;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Fields;

int failures = 0;

void
report(const char *name, bool ok, const std::string &detail = "")
{
    printf("%s %s%s%s\n", name, ok ? "ok" : "FAIL", ok ? "" : " ", ok ? "" : detail.c_str());
    failures += ok ? 0 : 1;
}

std::string
pathIn(const std::string &folder, const char *name)
{
    return folder + "/" + name;
}

void
writeFile(const std::string &path, const std::vector<Fields> &entries)
{
    FILE *out = fopen(path.c_str(), "w");
    for (const Fields &entry : entries) {
	for (const auto &fv : entry) {
	    hkdir::writeAttributeField(out, fv.first.c_str(), fv.second.data(), fv.second.size());
	}
	hkdir::writeEntryEnd(out);
    }
    fclose(out);
}

/* Raw bytes on disk. */
std::string
diskBytes(const std::string &path)
{
    std::string out;
    FILE *in = fopen(path.c_str(), "rb");
    int c;
    while ((c = getc(in)) != EOF) {
	out += static_cast<char>(c);
    }
    fclose(in);
    return out;
}

void
writeRaw(const std::string &path, const std::string &logical)
{
    FILE *out = fopen(path.c_str(), "w");	/* text: LF becomes CR LF on Windows */
    fwrite(logical.data(), 1, logical.size(), out);
    fclose(out);
}

/* Reads every entry; returns the entries and the code that ended the walk. */
std::pair<std::vector<Fields>, int>
readStream(FILE *in)
{
    std::vector<Fields> entries;
    if (in == nullptr) {
	return {entries, 2};
    }
    uint64_t left = 0;
    if (!HkpStreamBytesLeft(in, &left)) {
	fclose(in);
	return {entries, 1};
    }
    int code;
    {
	ResultsReader reader(in, left);
	reader.translateCrLf(HkpResultsFileCrLf());
	ResultRecord record;
	while ((code = reader.readEntry(record)) == HK_RESULTS_OK) {
	    Fields fields;
	    for (const auto &field : record) {
		fields.emplace_back(field.first,
			std::string(field.second.first().bytes(), field.second.first().length()));
	    }
	    entries.push_back(fields);
	}
    }
    fclose(in);
    return {entries, code};
}

std::pair<std::vector<Fields>, int>
readAll(const std::string &path)
{
    return readStream(fopen(path.c_str(), "rb"));
}

/*
 * A search's results file: claimed, written by name as the search does,
 * read through the claim, gone after the release. The name may lie outside
 * the ANSI code page (Windows takes it through the wide calls).
 */
void
checkClaim(const char *check, const std::string &folder, const std::string &name,
	const std::vector<Fields> &entries)
{
    std::string path = HkpJoinPath(folder, name);
    HkpResultsClaim *claim = nullptr;
    if (HkpClaimResultsFile(path, &claim) != HKP_CLAIMED) {
	report(check, false, "not claimed");
	return;
    }
    HkpResultsClaim *second = nullptr;
    bool inUse = HkpClaimResultsFile(path, &second) == HKP_CLAIM_IN_USE;
    FILE *out = HkpCreateResultsFile(path.c_str());
    bool written = out != nullptr;
    for (const Fields &entry : entries) {
	for (const auto &fv : entry) {
	    written = written && hkdir::writeAttributeField(out, fv.first.c_str(),
		    fv.second.data(), fv.second.size());
	}
	written = written && hkdir::writeEntryEnd(out);
    }
    written = out != nullptr && fclose(out) == 0 && written;
    auto got = readStream(HkpReadClaimedResults(claim));
    HkpReleaseResultsClaim(claim);
    bool gone = HkpDeleteResultsFile(path.c_str()) == HKP_DELETE_MISSING;
    report(check, inUse && written && got.first == entries && got.second == HK_RESULTS_END && gone,
	    std::string("in use ") + (inUse ? "1" : "0") + " written " + (written ? "1" : "0")
	    + " entries " + std::to_string(got.first.size()) + " code "
	    + std::to_string(got.second) + " gone " + (gone ? "1" : "0"));
}

} // namespace

int
main(int argc, char **argv)
{
    if (argc != 2) {
	fprintf(stderr, "usage: hkresultsfile FOLDER\n");
	return 2;
    }
    std::string folder = argv[1];

    /* The example line and how it is stored. */
    std::string example = pathIn(folder, "example.txt");
    writeFile(example, {{{"cn", "Front desk"}, {"telephoneNumber", "100"}}});
    std::string disk = diskBytes(example);
    printf("example-bytes %u", static_cast<unsigned>(disk.size()));
    for (size_t i = disk.size() >= 2 ? disk.size() - 2 : 0; i < disk.size(); i++) {
	printf(" %02X", static_cast<unsigned char>(disk[i]));
    }
    printf("\n");

    /* Values that the translation touches; the big one passes the size check. */
    std::string manyLines;
    for (int i = 0; i < 20000; i++) {
	manyLines += "line\n";
    }
    std::string bytes;
    for (int b = 1; b < 256; b++) {
	bytes += static_cast<char>(b);	/* 0x1A too, which ends a Windows text stream */
    }
    const std::vector<Fields> entries = {
	{{"a", "line\nbreak"}, {"b", "\n"}, {"c", "\r\n"}, {"d", "\r"}, {"e", ""}},
	{},
	{{"f", " both ends "}, {"g", "\t\n\t"}, {"h", bytes}},
	{{"big", manyLines}, {"z", "end"}},
    };
    std::string roundTrip = pathIn(folder, "roundtrip.txt");
    writeFile(roundTrip, entries);
    auto got = readAll(roundTrip);
    std::vector<Fields> expected = {entries[0], entries[2], entries[3]};	/* no empty entry */
    report("round-trip", got.first == expected && got.second == HK_RESULTS_END,
	    "entries " + std::to_string(got.first.size()) + " code " + std::to_string(got.second));

    /* A large value cut short, its lines stored as CR LF: -50, not a crash. */
    std::string cut = pathIn(folder, "cut.txt");
    writeRaw(cut, "2 sn 1 x \n2 cn " + std::to_string(manyLines.size() + 1) + " " + manyLines);
    got = readAll(cut);
    report("cut-large-value", got.first.size() == 1 && got.second == HK_RESULTS_SHORT_VALUE,
	    "entries " + std::to_string(got.first.size()) + " code " + std::to_string(got.second));

    /* The largest length in a small file. */
    std::string huge = pathIn(folder, "huge.txt");
    writeRaw(huge, "2 cn 4294967295 x \n");
    got = readAll(huge);
    report("largest-length", got.first.empty() && got.second == HK_RESULTS_SHORT_VALUE,
	    "code " + std::to_string(got.second));

    /* Counted names: blanks, line ends and more than 127 bytes. */
    const std::vector<Fields> named = {
	{{"a name", "1"}, {"b\nc", "2"}, {std::string(200, 'n'), "3"}},
	{{"cn", "Ann"}},
    };
    checkClaim("claimed-file", folder, "claimed.txt", named);
    checkClaim("claimed-wide-name", folder, "\xC5\x81ukasz-\xE6\x97\xA5\xE6\x9C\xAC.txt", named);

    for (const char *name : {"example.txt", "roundtrip.txt", "cut.txt", "huge.txt"}) {
	remove(pathIn(folder, name).c_str());
    }
    return failures == 0 ? 0 : 1;
}

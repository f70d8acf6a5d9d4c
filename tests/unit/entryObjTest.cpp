/*
 * entryObjTest.cpp --
 *
 *	Units for the bounds and the memory of entry objects: the lengths a
 *	Tcl object holds, room for texts beyond 32 bits on Tcl 9, and entries
 *	that memory cannot hold, which fail and give back what they took.
 *	(The entry text itself is checked in ldapSearchTest.cpp.)
 */

#include "directory/entryObj.h"
#include "directory/base/resultRecord.h"
#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <tcl.h>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "core/hostkit.h"

using namespace hkdir;

namespace {

const size_t TCL_SIZE_LIMIT = static_cast<size_t>(std::numeric_limits<Tcl_Size>::max());

struct BoundCase {
    const char *what;
    size_t length;
    bool text;		/* fitsTclText */
    bool element;	/* fitsTclElement */
};

} // namespace

TEST(EntryObjBound, LengthsAtWhatATclObjectHolds)
{
    /*
     * A length and the zero byte after it must both be a Tcl_Size. Beyond
     * that, nothing is allocated and the bytes are not read: one byte is
     * given, which a length that were taken would read past.
     */
    const char one[1] = {'x'};
    const BoundCase cases[] = {
	{"empty", 0, true, true},
	{"the longest element", (TCL_SIZE_LIMIT - 3) / 2, true, true},
	{"one past the longest element", (TCL_SIZE_LIMIT - 3) / 2 + 1, true, false},
	{"the longest text", TCL_SIZE_LIMIT - 1, true, false},
	{"the largest Tcl_Size", TCL_SIZE_LIMIT, false, false},
	{"one past the largest Tcl_Size", TCL_SIZE_LIMIT + 1, false, false},
	{"4 GiB", static_cast<size_t>(1) << 32, sizeof(Tcl_Size) > 4, sizeof(Tcl_Size) > 4},
	{"the largest size_t", std::numeric_limits<size_t>::max(), false, false},
    };
    for (const BoundCase &c : cases) {
	EXPECT_EQ(fitsTclText(c.length), c.text) << c.what;
	EXPECT_EQ(fitsTclElement(c.length), c.element) << c.what;
	if (!c.text) {
	    EXPECT_EQ(attemptTextBuffer(c.length), nullptr) << c.what;
	    EXPECT_EQ(attemptNewTextObj(one, c.length), nullptr) << c.what;
	}
    }
}

TEST(EntryObjBound, ATextOf4GiBGetsRoomForAllOfIt)
{
    /* Tcl 9 counts lengths in 64 bits: a 32-bit size would be a short buffer. */
    if (sizeof(Tcl_Size) <= 4) {
	GTEST_SKIP() << "Tcl 8 holds no text of 4 GiB";
    }
    const size_t length = (static_cast<size_t>(1) << 32) + 7;
    char *text = attemptTextBuffer(length);
    if (text == nullptr) {
	GTEST_SKIP() << "no 4 GiB of address space here";
    }
    /* Only the pages written are touched. */
    text[0] = 'a';
    text[length - 1] = 'z';
    text[length] = '\0';
    EXPECT_EQ(text[length - 1], 'z');
    Tcl_Free(text);
}

namespace {

const uint32_t LARGE_VALUE = 24u << 20;

/*
 * Runs in a child process: an entry of one 24 MB value made under
 * address-space caps from 36 MB to 108 MB above what is in use, and
 * without a cap. Under each cap the entry comes whole or newEntryObj
 * throws std::bad_alloc (under the tightest it must), and the address
 * space is back where it was afterwards: nothing made for a failed entry
 * stays. Returns 0 when so; each round that is not goes to standard error.
 */
int
largeEntriesUnderCaps(bool allValues)
{
    mallopt(M_MMAP_THRESHOLD, 1 << 20);	/* a freed large block is unmapped at once */
    ResultRecord record;
    record.set("description", AttributeValue(std::string(LARGE_VALUE, 'v').data(), LARGE_VALUE));
    /* "description {VALUE} ", or with every value the bare list "description VALUE ". */
    const long long whole = LARGE_VALUE + (allValues ? 13 : 15);
    struct rlimit limit;
    getrlimit(RLIMIT_AS, &limit);
    int bad = 0;
    for (unsigned extra : {36u, 60u, 84u, 108u, 0u}) {
	long long before = static_cast<long long>(unitAddressSpace());
	limit.rlim_cur = extra != 0 ? static_cast<rlim_t>(before) + (extra << 20) : limit.rlim_max;
	long long length = -1;		/* std::bad_alloc */
	if (setrlimit(RLIMIT_AS, &limit) == 0) {
	    try {
		Tcl_Obj *obj = newEntryObj(record, allValues);
		Tcl_IncrRefCount(obj);
		Tcl_Size size = 0;
		Tcl_GetStringFromObj(obj, &size);
		length = size;
		Tcl_DecrRefCount(obj);
	    } catch (const std::bad_alloc &) {
	    }
	}
	limit.rlim_cur = limit.rlim_max;
	setrlimit(RLIMIT_AS, &limit);
	long long kept = (static_cast<long long>(unitAddressSpace()) - before) >> 20;
	if ((length != -1 && length != whole) || kept >= 16 || (extra == 36 && length != -1)
		|| (extra == 0 && length != whole)) {
	    fprintf(stderr, "cap +%u MB: length %lld, %lld MB kept\n", extra, length, kept);
	    bad = 1;
	}
    }
    return bad;
}

} // namespace

TEST(EntryObjDeathTest, AnEntryMemoryCannotHoldFailsAndGivesBackWhatItTook)
{
    for (bool allValues : {false, true}) {
	EXPECT_EXIT(_exit(largeEntriesUnderCaps(allValues)), ::testing::ExitedWithCode(0), "")
		<< (allValues ? "every value" : "first values");
    }
}

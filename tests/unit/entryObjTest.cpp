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

bool
capAddressSpace(rlim_t bytes)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) != 0) {
	return false;
    }
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

const uint32_t LARGE_VALUE = 24u << 20;

/*
 * Runs in a child process: an entry of one 24 MB value made under
 * address-space caps from 36 MB to 108 MB above what is in use. Under each
 * cap the entry either comes whole or newEntryObj throws std::bad_alloc,
 * and afterwards the address space is back where it was: nothing made for
 * a failed entry stays. Returns 0 when so, and when the tightest cap failed and no cap
 * read it whole; the cases that do not hold go to standard error.
 */
int
largeEntriesUnderCaps(bool allValues)
{
    /* Large blocks mapped on their own, whatever was freed before, so that a freed one is unmapped. */
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    ResultRecord record;
    std::string value(LARGE_VALUE, 'v');
    record.set("description", AttributeValue(value.data(), LARGE_VALUE));
    value = std::string();
    /* "description {VALUE} ", or with every value the bare list: "description VALUE ". */
    const size_t whole = allValues ? strlen("description ") + LARGE_VALUE + strlen(" ")
	    : strlen("description {") + LARGE_VALUE + strlen("} ");
    int bad = 0;
    bool failedFirst = false;
    for (unsigned extra : {36u, 60u, 84u, 108u, 0u}) {
	unsigned long long before = unitAddressSpace();
	if (before == 0 || (extra != 0 && !capAddressSpace(before + (extra << 20)))) {
	    return 9;
	}
	const char *outcome = "whole";
	try {
	    Tcl_Obj *obj = newEntryObj(record, allValues);
	    Tcl_IncrRefCount(obj);
	    Tcl_Size length = 0;
	    Tcl_GetStringFromObj(obj, &length);
	    if (static_cast<size_t>(length) != whole) {
		outcome = "short";
	    }
	    Tcl_DecrRefCount(obj);
	} catch (const std::bad_alloc &) {
	    outcome = "no memory";
	}
	capAddressSpace(RLIM_INFINITY);
	unsigned long long after = unitAddressSpace();
	bool kept = after > before + (16 << 20);
	if (extra == 36) {
	    failedFirst = strcmp(outcome, "no memory") == 0;
	}
	if ((extra == 0 && strcmp(outcome, "whole") != 0) || strcmp(outcome, "short") == 0 || kept) {
	    fprintf(stderr, "cap +%u MB: %s, %lld MB kept\n", extra, outcome,
		    (static_cast<long long>(after) - static_cast<long long>(before)) >> 20);
	    bad = 1;
	}
    }
    return bad || !failedFirst;
}

} // namespace

TEST(EntryObjDeathTest, AnEntryMemoryCannotHoldFailsAndGivesBackWhatItTook)
{
    for (bool allValues : {false, true}) {
	EXPECT_EXIT(_exit(largeEntriesUnderCaps(allValues)), ::testing::ExitedWithCode(0), "")
		<< (allValues ? "every value" : "first values");
    }
}

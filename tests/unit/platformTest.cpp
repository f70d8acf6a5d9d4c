/*
 * platformTest.cpp --
 *
 *	Units for the general platform operations.
 */

#include "core/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(PlatformText, WideAndNativeRoundTrip)
{
    /* ASCII, Latin-1, a BMP ideograph and a surrogate pair. */
    const Tcl_UniChar text[] = {'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, 'z'};
    WideString wide(text, sizeof text / sizeof text[0]);
    std::string native = HkpWideToNative(wide);
    EXPECT_EQ(native.substr(0, 3), std::string("a\xC3\xA9"));
    EXPECT_EQ(HkpNativeToWide(native), wide);
}

TEST(PlatformLock, GuardsACounterAcrossThreads)
{
    HkpLock *lock = HkpLockCreate();
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
	threads.emplace_back([&] {
	    for (int i = 0; i < 20000; ++i) {
		HkpLockEnter(lock);
		++counter;
		HkpLockLeave(lock);
	    }
	});
    }
    for (auto &th : threads) {
	th.join();
    }
    EXPECT_EQ(counter, 80000);
}

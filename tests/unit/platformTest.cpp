/*
 * platformTest.cpp --
 *
 *	Units for the general platform operations.
 */

#include "core/unix/unixText.h"
#include "core/lockPlatform.h"

#include <tcl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

TEST(PlatformText, WideAndNativeRoundTrip)
{
    std::string saved = Tcl_GetEncodingName(nullptr);
    ASSERT_EQ(Tcl_SetSystemEncoding(nullptr, "utf-8"), TCL_OK);
    /* ASCII, Latin-1, a BMP ideograph and a surrogate pair. */
    const WideChar text[] = {'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, 'z'};
    WideString wide(text, sizeof text / sizeof text[0]);
    std::string native = HkpWideToNative(wide);
    EXPECT_EQ(native, std::string("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z"));
    EXPECT_EQ(HkpNativeToWide(native), wide);
    Tcl_SetSystemEncoding(nullptr, saved.c_str());
}

/*
 * Native text is in the system encoding, as Tcl's own file commands give
 * it: under a Latin-1 locale a name that Tcl opens as "caf\xE9" must not
 * turn into its UTF-8 bytes. A NUL ends the name, as it does for the
 * system.
 */
TEST(PlatformText, NativeFollowsTheSystemEncoding)
{
    std::string saved = Tcl_GetEncodingName(nullptr);
    const WideChar cafe[] = {'c', 'a', 'f', 0x00E9};
    WideString wide(cafe, 4);
    struct Case {
	const char *encoding;
	std::string native;
    } cases[] = {
	{"utf-8", "caf\xC3\xA9"},
	{"iso8859-1", "caf\xE9"},
    };
    for (const Case &c : cases) {
	ASSERT_EQ(Tcl_SetSystemEncoding(nullptr, c.encoding), TCL_OK) << c.encoding;
	EXPECT_EQ(HkpWideToNative(wide), c.native) << c.encoding;
	EXPECT_EQ(HkpNativeToWide(c.native), wide) << c.encoding;
	EXPECT_EQ(HkpWideToNative(WideString{'a', 0, 'b'}), std::string("a\0b", 3)) << c.encoding;
    }
    Tcl_SetSystemEncoding(nullptr, saved.c_str());
}

/*
 * The lock as code takes it, through HkpLockHold: threads take turns, and
 * a block left by an exception lets the lock go (else the last thread
 * would wait for ever; it is given a few seconds).
 */
TEST(PlatformLock, HoldGuardsACounterAcrossThreadsAndLetsGoOnThrow)
{
    HkpLock *lock = HkpLockCreate();
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
	threads.emplace_back([&] {
	    for (int i = 0; i < 20000; ++i) {
		try {
		    HkpLockHold hold(lock);
		    ++counter;
		    if (i % 1000 == 0) {
			throw i;
		    }
		} catch (int) {
		}
	    }
	});
    }
    for (auto &th : threads) {
	th.join();
    }
    EXPECT_EQ(counter, 80000);

    auto taken = std::make_shared<std::promise<void>>();
    std::future<void> done = taken->get_future();
    std::thread([lock, taken] {
	HkpLockHold hold(lock);
	taken->set_value();
    }).detach();
    EXPECT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

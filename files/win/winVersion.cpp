/*
 * winVersion.cpp --
 *
 *	Win32 definition of the version-block operation: the block that the
 *	system's version functions (version.dll) give, so that the system
 *	chooses which version resource a file presents.
 *
 *	The system's resource look-up trusts the offsets of the file: a PE
 *	file whose resource entries point outside the image makes it read
 *	outside the mapping and fault (seen under Wine), and a file cut short
 *	inside its version resource still gives the strings before the cut.
 *	So the file is first walked with the bounds-checked reader of
 *	files/base/peVersion.h, and one whose version resource is not whole and
 *	sound counts as having none, as it does on Unix. A file that is not a
 *	PE image has no version block here, as on Unix: the system would give
 *	a 16-bit executable's block in its older, narrow layout, which the
 *	portable look-up does not read.
 */

#include "files/versionPlatform.h"
#include "core/win/winHandle.h"
#include "files/base/peVersion.h"
#include "files/base/versionBlock.h"

#include <windows.h>

namespace {

/* The most one ReadFile call is asked for. */
const DWORD MAX_READ = 0x10000000;

class FileSource : public hkpe::ByteSource {
public:
    explicit FileSource(HANDLE handle) : handle_(handle) {}

    bool readAt(uint64_t offset, void *buffer, size_t length) override
    {
	char *out = static_cast<char *>(buffer);
	while (length > 0) {
	    OVERLAPPED at = {};
	    at.Offset = static_cast<DWORD>(offset);
	    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
	    DWORD chunk = length > MAX_READ ? MAX_READ : static_cast<DWORD>(length);
	    DWORD got = 0;
	    if (!ReadFile(handle_, out, chunk, &got, &at) || got == 0) {
		return false;
	    }
	    out += got;
	    offset += got;
	    length -= got;
	}
	return true;
    }

private:
    HANDLE handle_;
};

/*
 * True for a PE file on disk whose version resource the bounds-checked
 * reader reads whole, with a root node that holds its fixed information:
 * a file that the system's version functions may be given.
 */
bool
versionResourceIsSound(const WideString &fileName)
{
    WinHandle file(CreateFileW(reinterpret_cast<LPCWSTR>(fileName.c_str()), GENERIC_READ,
	    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
	    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) {
	return false;
    }
    FileSource source(file.get());
    std::vector<uint8_t> block;
    const uint8_t *value = nullptr;
    uint32_t length = 0;
    return hkpe::readVersionResource(source, block)
	    && hkpe::queryValue(block.data(), block.size(), u"\\", &value, &length);
}

} // namespace

bool
HkpReadVersionBlock(const WideString &fileName, std::vector<uint8_t> &block)
{
    block.clear();
    if (!versionResourceIsSound(fileName)) {
	return false;
    }
    LPCWSTR name = reinterpret_cast<LPCWSTR>(fileName.c_str());
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeW(name, &unused);
    if (size == 0) {
	return false;
    }
    block.assign(size, 0);
    if (!GetFileVersionInfoW(name, 0, size, block.data())) {
	block.clear();
	return false;
    }
    return true;
}

/*
 * winVersion.cpp --
 *
 *	Win32 definitions of the version-resource operations: the system's
 *	version functions (version.dll).
 *
 *	The system's resource look-up trusts the offsets of the file: a PE
 *	file whose resource entries point outside the image makes it read
 *	outside the mapping and fault (seen under Wine), and a file cut short
 *	inside its version resource still gives the strings before the cut.
 *	So a PE file is first walked with the bounds-checked reader of
 *	files/peVersion.h, and one whose version resource is not whole and
 *	sound counts as having none, as it does on Unix. Files that are not
 *	PE images (16-bit executables and the like) go to the system as they
 *	are.
 */

#include "files/versionPlatform.h"
#include "core/win/winHandle.h"
#include "files/peVersion.h"

#include <windows.h>

#include <vector>

namespace {

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
	    DWORD chunk = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
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
 * False only for a PE file on disk whose version resource the bounds-checked
 * reader cannot read whole, or whose root node does not hold its fixed
 * information. Anything else is left to the system to judge.
 */
bool
versionResourceIsSound(const WideString &fileName)
{
    WinHandle file(CreateFileW(reinterpret_cast<LPCWSTR>(fileName.c_str()), GENERIC_READ,
	    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
	    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) {
	return true;
    }
    FileSource source(file.get());
    if (!hkpe::hasPeSignature(source)) {
	return true;
    }
    std::vector<uint8_t> block;
    const uint8_t *value = nullptr;
    uint32_t length = 0;
    return hkpe::readVersionResource(source, block)
	    && hkpe::queryValueNarrow(block.data(), block.size(), "\\", &value, &length);
}

} // namespace

uint32_t
HkpGetVersionInfoSize(const WideString &fileName)
{
    if (!versionResourceIsSound(fileName)) {
	return 0;
    }
    DWORD unused = 0;
    return GetFileVersionInfoSizeW(reinterpret_cast<LPCWSTR>(fileName.c_str()), &unused);
}

bool
HkpGetVersionInfo(const WideString &fileName, uint32_t size, void *block)
{
    if (!versionResourceIsSound(fileName)) {
	return false;
    }
    return GetFileVersionInfoW(reinterpret_cast<LPCWSTR>(fileName.c_str()), 0, size, block) != 0;
}

/* The system query takes no size: the caller keeps its reads inside the block. */
bool
HkpVerQueryValueNarrow(const void *block, uint32_t, const char *subBlock, const void **value,
	uint32_t *length)
{
    LPVOID found = nullptr;
    UINT foundLength = 0;
    if (!VerQueryValueA(block, subBlock, &found, &foundLength)) {
	return false;
    }
    *value = found;
    *length = foundLength;
    return true;
}

bool
HkpVerQueryValueWide(const void *block, uint32_t, const WideChar *subBlock, const void **value,
	uint32_t *length)
{
    LPVOID found = nullptr;
    UINT foundLength = 0;
    if (!VerQueryValueW(block, reinterpret_cast<LPCWSTR>(subBlock), &found, &foundLength)) {
	return false;
    }
    *value = found;
    *length = foundLength;
    return true;
}

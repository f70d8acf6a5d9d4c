/*
 * versionBlock.cpp --
 *
 *	The walk of a version block's tree of nodes, and the look-ups that
 *	filegetversion makes with it.
 *
 *	Each node is:
 *	  WORD wLength        the node with its children, in bytes
 *	  WORD wValueLength   16-bit units for text (wType != 0), bytes otherwise
 *	  WORD wType
 *	  WCHAR szKey[]       zero-terminated
 *	  padding to 4 bytes, the value, padding to 4 bytes, the children.
 *	Offsets are aligned from the start of the block, which the system also
 *	keeps 4-byte aligned.
 */

#include "files/base/versionBlock.h"
#include "files/base/littleEndian.h"

namespace hkpe {

namespace {

const size_t NODE_HEADER_SIZE = 6;
const size_t NODE_VALUE_LENGTH = 2;
const size_t NODE_TYPE = 4;
const size_t NODE_ALIGNMENT = 4;
const size_t UNIT_SIZE = 2;		/* one UTF-16 unit of a key or a text value */

/* A translation: language and code page, 16 bits each. */
const size_t TRANSLATION_SIZE = 4;

const char16_t ROOT_PATH[] = u"\\";
const char16_t TRANSLATION_PATH[] = u"\\VarFileInfo\\Translation";
const char16_t STRING_TABLES_PATH[] = u"\\StringFileInfo\\";

struct Node {
    size_t end;			/* one past the node, never past its parent */
    size_t keyStart;
    size_t keyLength;		/* in 16-bit units, without the zero */
    size_t valueStart;
    uint32_t valueLength;	/* as reported: cut to what the node holds */
    size_t childStart;
    size_t declaredEnd;		/* start + wLength, for stepping to the sibling */
};

size_t
align(size_t offset)
{
    return (offset + NODE_ALIGNMENT - 1) & ~(NODE_ALIGNMENT - 1);
}

bool
parseNode(const uint8_t *block, size_t limit, size_t start, Node *node)
{
    if (start > limit || limit - start < NODE_HEADER_SIZE) {
	return false;
    }
    size_t length = get16(block + start);
    unsigned valueLength = get16(block + start + NODE_VALUE_LENGTH);
    bool text = get16(block + start + NODE_TYPE) != 0;
    if (length < NODE_HEADER_SIZE) {
	return false;
    }
    node->declaredEnd = start + length;
    node->end = node->declaredEnd < limit ? node->declaredEnd : limit;

    node->keyStart = start + NODE_HEADER_SIZE;
    size_t p = node->keyStart;
    while (p + UNIT_SIZE <= node->end && get16(block + p) != 0) {
	p += UNIT_SIZE;
    }
    if (p + UNIT_SIZE > node->end) {
	return false;		/* the key runs past the node */
    }
    node->keyLength = (p - node->keyStart) / UNIT_SIZE;

    size_t valueStart = align(p + UNIT_SIZE);
    if (valueStart > node->end) {
	valueStart = node->end;
    }
    size_t unit = text ? UNIT_SIZE : 1;
    size_t fits = (node->end - valueStart) / unit;
    node->valueStart = valueStart;
    node->valueLength = static_cast<uint32_t>(valueLength < fits ? valueLength : fits);
    size_t childStart = align(valueStart + static_cast<size_t>(valueLength) * unit);
    node->childStart = childStart < node->end ? childStart : node->end;
    return true;
}

uint16_t
foldAscii(uint16_t c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<uint16_t>(c + ('a' - 'A')) : c;
}

bool
keyMatches(const uint8_t *block, const Node &node, const char16_t *part, size_t partLength)
{
    if (node.keyLength != partLength) {
	return false;
    }
    for (size_t i = 0; i < partLength; ++i) {
	if (foldAscii(get16(block + node.keyStart + UNIT_SIZE * i)) != foldAscii(part[i])) {
	    return false;
	}
    }
    return true;
}

/* Four lower-case hexadecimal digits. */
void
appendHex4(std::u16string &out, uint16_t value)
{
    static const char digits[] = "0123456789abcdef";
    for (int shift = 12; shift >= 0; shift -= 4) {
	out.push_back(static_cast<char16_t>(digits[(value >> shift) & 0xF]));
    }
}

} // namespace

bool
queryValue(const uint8_t *block, size_t blockSize, const char16_t *path,
	const uint8_t **value, uint32_t *length)
{
    Node node;
    if (block == nullptr || !parseNode(block, blockSize, 0, &node)) {
	return false;
    }
    const char16_t *p = path;
    while (*p != 0) {
	if (*p == '\\') {
	    ++p;
	    continue;
	}
	const char16_t *partEnd = p;
	while (*partEnd != 0 && *partEnd != '\\') {
	    ++partEnd;
	}
	size_t partLength = static_cast<size_t>(partEnd - p);

	/* Every sibling starts past the one before it, so this ends. */
	bool found = false;
	size_t child = node.childStart;
	Node candidate;
	while (child < node.end && parseNode(block, node.end, child, &candidate)) {
	    if (keyMatches(block, candidate, p, partLength)) {
		found = true;
		break;
	    }
	    child = align(candidate.declaredEnd);
	}
	if (!found) {
	    return false;
	}
	node = candidate;
	p = partEnd;
    }
    *value = block + node.valueStart;
    *length = node.valueLength;
    return true;
}

bool
hasFixedInfo(const uint8_t *block, size_t blockSize)
{
    const uint8_t *value = nullptr;
    uint32_t length = 0;
    return queryValue(block, blockSize, ROOT_PATH, &value, &length)
	    && length >= sizeof HK_FIXED_INFO_SIGNATURE
	    && static_cast<size_t>(block + blockSize - value) >= sizeof HK_FIXED_INFO_SIGNATURE
	    && get32(value) == HK_FIXED_INFO_SIGNATURE;
}

Translation
firstTranslation(const uint8_t *block, size_t blockSize)
{
    const uint8_t *value = nullptr;
    uint32_t length = 0;
    if (queryValue(block, blockSize, TRANSLATION_PATH, &value, &length)
	    && length >= TRANSLATION_SIZE
	    && static_cast<size_t>(block + blockSize - value) >= TRANSLATION_SIZE) {
	return Translation{get16(value), get16(value + 2)};
    }
    return HK_DEFAULT_TRANSLATION;
}

bool
findString(const uint8_t *block, size_t blockSize, Translation translation,
	const std::u16string &name, std::u16string *value)
{
    std::u16string path = STRING_TABLES_PATH;
    appendHex4(path, translation.language);
    appendHex4(path, translation.codePage);
    path.push_back('\\');
    path.append(name, 0, name.find(u'\0'));
    if (path.size() + 1 > HK_SUB_BLOCK_PATH_SIZE) {
	return false;
    }

    const uint8_t *start = nullptr;
    uint32_t length = 0;
    if (!queryValue(block, blockSize, path.c_str(), &start, &length)) {
	return false;
    }
    size_t limit = static_cast<size_t>(block + blockSize - start) / UNIT_SIZE;
    if (length < limit) {
	limit = length;
    }
    value->clear();
    for (size_t i = 0; i < limit; ++i) {
	char16_t c = get16(start + UNIT_SIZE * i);
	if (c == 0) {
	    break;
	}
	value->push_back(c);
    }
    return true;
}

} // namespace hkpe

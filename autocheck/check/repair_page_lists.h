// The two lists the repair form carries, built from the entries of a check
// result: the ItemIDs, and the text form of each entry's reply elements,
// each list's elements joined by "###||###".
#pragma once

#include <cstddef>

struct XmlNode;

namespace repair_page {

// A growing text in MemAlloc_fre blocks. Nothing here has a destructor: the
// lists are held across the fault guard and released after it.
struct TextList {
    char* text = nullptr;  // zero-terminated once anything was added
    std::size_t length = 0;
    std::size_t capacity = 0;
    int count = 0;  // elements added
};

struct Lists {
    TextList items;
    TextList results;
    XmlNode* scratch = nullptr;  // the temporary document of the entry in hand
};

// Adds every entry of "TARN/Result" that has ItemID text to both lists; the
// result text of an entry is a "Result" element holding copies of all its
// children, exported with the header, carriage returns and line feeds
// written as blanks. False (traced "内存不足") when memory ran out.
bool build_lists(const XmlNode* result, Lists* lists);

// Releases everything `lists` holds; it may be half-built.
void release(Lists* lists);

}  // namespace repair_page

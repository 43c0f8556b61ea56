#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Kel::Core {

// A pooled, immutable, shared string. Equal texts share one pool entry, so comparing two
// references is comparing two pointers. A default reference is null, which is distinct
// from the empty text: a node without a name never matches a name search.
//
// When the memory for a new text cannot be had, the reference comes out null instead of
// throwing; code that makes texts from input (files) checks for that.
class oxStringRef {
public:
    oxStringRef() = default;
    oxStringRef(const char* text);
    oxStringRef(std::string_view text);
    oxStringRef(const std::string& text) : oxStringRef(std::string_view(text)) {}
    oxStringRef(const oxStringRef& other);
    oxStringRef(oxStringRef&& other) noexcept : _entry(other._entry) { other._entry = nullptr; }
    oxStringRef& operator=(const oxStringRef& other);
    oxStringRef& operator=(oxStringRef&& other) noexcept;
    ~oxStringRef();

    bool isNull() const { return _entry == nullptr; }
    // Null for a null reference.
    const char* get() const;
    // Never null: "" for a null reference.
    const char* c_str() const;
    size_t length() const;
    std::string_view view() const { return {c_str(), length()}; }

    bool operator==(const oxStringRef& other) const { return _entry == other._entry; }
    bool operator==(const char* text) const;
    // Byte-wise; a null reference sorts before every text.
    int compare(const oxStringRef& other) const;

    // Number of distinct texts currently pooled.
    static size_t getPoolSize();
    // out[i] = oxStringRef(texts[i]) for every i, as one batch: the pool's table is looked
    // up several texts ahead of the one being made, so that a reader making a file's
    // hundreds of thousands of texts does not wait for memory once per text. False when the
    // memory for a text could not be had (its reference is then null).
    static bool makeMany(const std::string_view* texts, oxStringRef* out, size_t count);

    // Numbering the distinct texts met in one pass over many strings (a scene-file write
    // meets one per object) without a map of the pass's own: every pooled text keeps the
    // value that the latest pass gave it. A pass starts with beginPass(); a later pass, a
    // nested one included, takes the slot over, and the earlier pass then reads 0 again.
    static uint32_t beginPass();
    // What `pass` gave this text, 0 when it gave nothing (and for a null reference).
    uint32_t getPassValue(uint32_t pass) const;
    // Ignored for a null reference.
    void setPassValue(uint32_t pass, uint32_t value) const;

    struct Entry;

private:
    Entry* _entry = nullptr;
};

} // namespace Kel::Core

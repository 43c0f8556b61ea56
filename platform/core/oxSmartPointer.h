#pragma once
#include <cstddef>
#include <utility>

namespace Kel::Core {

// Intrusive reference for oxObject and its descendants: holding one counts one reference.
template <class T>
class oxSmartPointer {
public:
    oxSmartPointer() = default;
    oxSmartPointer(std::nullptr_t) {}
    oxSmartPointer(T* ptr) : _ptr(ptr) { acquire(); }
    oxSmartPointer(const oxSmartPointer& other) : _ptr(other._ptr) { acquire(); }
    oxSmartPointer(oxSmartPointer&& other) noexcept : _ptr(other._ptr) { other._ptr = nullptr; }
    template <class U>
    oxSmartPointer(const oxSmartPointer<U>& other) : _ptr(other.get()) { acquire(); }
    ~oxSmartPointer() { drop(); }

    oxSmartPointer& operator=(const oxSmartPointer& other) { return assign(other._ptr); }
    oxSmartPointer& operator=(T* ptr) { return assign(ptr); }
    template <class U>
    oxSmartPointer& operator=(const oxSmartPointer<U>& other)
    {
        return assign(other.get());
    }
    oxSmartPointer& operator=(oxSmartPointer&& other) noexcept
    {
        if (this != &other) {
            drop();
            _ptr = other._ptr;
            other._ptr = nullptr;
        }
        return *this;
    }

    T* get() const { return _ptr; }
    T* operator->() const { return _ptr; }
    T& operator*() const { return *_ptr; }
    operator T*() const { return _ptr; }
    bool valid() const { return _ptr != nullptr; }
    void reset() { assign(nullptr); }

private:
    void acquire()
    {
        if (_ptr)
            _ptr->ref();
    }
    void drop()
    {
        if (_ptr)
            _ptr->release();
    }
    oxSmartPointer& assign(T* ptr)
    {
        // Take the new reference first: assigning an object to itself must not free it.
        if (ptr)
            ptr->ref();
        T* old = _ptr;
        _ptr = ptr;
        if (old)
            old->release();
        return *this;
    }

    T* _ptr = nullptr;
};

} // namespace Kel::Core

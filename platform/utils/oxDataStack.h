#pragma once
#include "platform/core/oxDataList.h"
#include "platform/core/oxObjectList.h"
#include "platform/math/oxMathLists.h"

namespace Kel::Utils {

// A stack over a list: the last element is the top. Popping an empty stack is refused.
template <class List>
class oxStackOf : public List {
public:
    using List::getCount;
    bool isEmpty() const { return getCount() == 0; }
    bool pop()
    {
        return getCount() > 0 && this->remove(getCount() - 1);
    }
};

template <class T>
class oxTDataStack : public oxStackOf<Core::oxTDataList<T>> {
public:
    void push(const T& value) { this->append(value); }
    // The caller keeps the stack non-empty.
    T& top() { return (*this)[this->getCount() - 1]; }
    const T& top() const { return (*this)[this->getCount() - 1]; }
};

// Accumulated transforms: push() multiplies onto the current top (m × top, the row-vector
// order in which a child's matrix applies before its parent's), pushMatrix() replaces it.
class oxMatrixStack : public oxTDataStack<Math::oxMatrix44f> {
    OX_CLASS(oxMatrixStack, Core::oxDataList)
public:
    void pushMatrix(const Math::oxMatrix44f& m) { push(m); }
    void pushMultiplied(const Math::oxMatrix44f& m) { push(isEmpty() ? m : m * top()); }
    const Math::oxMatrix44f& getTop() const { return top(); }

protected:
    oxMatrixStack() = default;
};

// A stack of plain object pointers (the nodes on the current path of a walk).
class oxNonRefCountedObjectStack : public oxStackOf<Core::oxNonRefCountedObjectList> {
    OX_CLASS(oxNonRefCountedObjectStack, Core::oxNonRefCountedObjectList)
public:
    void push(Core::oxObject* object) { appendObject(object); }
    Core::oxObject* top() const { return isEmpty() ? nullptr : getObject(getCount() - 1); }

protected:
    oxNonRefCountedObjectStack() = default;
};

} // namespace Kel::Utils

#include "sg/deform/oxMorphInstance2.h"

#include <cmath>

namespace Kel::Sg {

using Attrs::oxMorphEntry;

void oxMorphInstance2::arkRegisterInitialize(oxFields<oxMorphInstance2>& f)
{
    f.add(OX_FIELD(coefficient)).constructWithOwner();
    f.add(OX_FIELD(nonNullCoefficientIndex)).constructWithOwner();
    f.add(OX_FIELD(morphSequence));
    f.add(OX_FIELD(morphGeometry));
}

void oxMorphInstance2::setMorphGeometry(oxMorphedGeometryAttr* geometry)
{
    if (_morphGeometry) {
        const int at = getGeometryAttrs()->find(_morphGeometry.get());
        if (at >= 0)
            removeGeometryAttr(at);
    }
    _morphGeometry = geometry;
    if (geometry && getGeometryAttrs()->find(geometry) < 0)
        addGeometryAttr(geometry);
}

void oxMorphInstance2::update(int64_t time)
{
    // Owned lists are missing only when a scene file said so.
    if (!_coefficient || !_nonNullCoefficientIndex)
        return;
    if (_morphSequence) {
        // One weight per target of the sequence; weights set by hand beyond them stay.
        const int n = _morphSequence->getCoefficientCount();
        if (_coefficient->getCount() < n)
            _coefficient->setCount(n);
        _morphSequence->update(_coefficient, time);
    }
    updateCoefficientList();
}

void oxMorphInstance2::updateCoefficientList()
{
    if (!_coefficient || !_nonNullCoefficientIndex)
        return;
    _nonNullCoefficientIndex->removeAll();
    const int n = _coefficient->getCount();
    for (int i = 0; i < n; ++i)
        if (std::fabs(_coefficient->get(i)) > kInactiveWeight)
            _nonNullCoefficientIndex->append(i);
    if (!_morphGeometry)
        return;
    const int active = _nonNullCoefficientIndex->getCount();
    Attrs::oxMorphEntryList* entries = _morphGeometry->getMorphList();
    for (int e = 0; entries && e < entries->getCount(); ++e) {
        oxMorphEntry* entry = entries->get(e);
        if (!entry)
            continue;
        entry->setActiveCount(active);
        for (int j = 0; j < active; ++j) {
            const int index = _nonNullCoefficientIndex->get(j);
            entry->setWeight(j, _coefficient->get(index));
            entry->setTargetIndex(j, index);
        }
    }
}

} // namespace Kel::Sg

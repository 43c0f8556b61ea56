#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A group that runs its subtree on a clock of its own: scaled and shifted from the time it
// is given. This is the older form, with a double scale and a bias in seconds; its
// description leads to oxTimeTransform1_5, and its accessors forward to the newer ones.
class oxTimeTransform : public oxGroup {
    OX_CLASS(oxTimeTransform, oxGroup)
    OX_FIELDS(scale, bias)
public:
    virtual void setScaleAsFloat(float scale) = 0;
    virtual float getScaleAsFloat() = 0;
    virtual void setBiasAsLong(int64_t bias) = 0;
    virtual int64_t getBiasAsLong() = 0;
    // The subtree's time for the time t given to this node.
    virtual int64_t getTransformedTime(int64_t t) = 0;

    void setScale(float scale) { setScaleAsFloat(scale); }
    float getScale() { return getScaleAsFloat(); }
    void setBias(int64_t bias) { setBiasAsLong(bias); }
    int64_t getBias() { return getBiasAsLong(); }

protected:
    oxTimeTransform() = default;
    static void arkRegisterInitialize(oxFields<oxTimeTransform>& f);

    double _scale = 1.0;
    // Seconds.
    double _bias = 0.0;
};

} // namespace Kel::Sg

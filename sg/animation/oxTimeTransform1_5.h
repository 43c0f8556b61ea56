#pragma once
#include "sg/animation/oxTimeTransform.h"

namespace Kel::Sg {

// The time transform: its subtree sees time t as t × scale + bias (bias in nanoseconds).
// The product is formed on t in units of 2^18 ns, so the subtree's clock moves in steps of
// about a quarter of a millisecond before the bias is added.
class oxTimeTransform1_5 : public oxTimeTransform {
    OX_CLASS(oxTimeTransform1_5, oxTimeTransform)
    OX_FIELDS(scaleFloat, biasLong)
public:
    void setScaleAsFloat(float scale) override { _scaleFloat = scale; }
    float getScaleAsFloat() override { return _scaleFloat; }
    void setBiasAsLong(int64_t bias) override { _biasLong = bias; }
    int64_t getBiasAsLong() override { return _biasLong; }
    int64_t getTransformedTime(int64_t t) override;

    // Objects stored as the older class carry a double scale and a bias in seconds.
    oxResult makeConcrete(const oxObject* older) override;
    static void arkRegisterUser();

protected:
    oxTimeTransform1_5() = default;
    static void arkRegisterInitialize(oxFields<oxTimeTransform1_5>& f);

    float _scaleFloat = 1.0f;
    int64_t _biasLong = 0;
};

} // namespace Kel::Sg

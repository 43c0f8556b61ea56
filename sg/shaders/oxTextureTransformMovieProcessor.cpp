#include "sg/shaders/oxTextureTransformMovieProcessor.h"

#include <cmath>

#include "sg/shaders/oxSimpleShader.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

namespace {
// Elapsed time is counted in units of 2^18 ns (about a quarter of a millisecond), so that a
// float cycle time stays exact over long runs.
constexpr int64_t kTimeUnit = 262144;
} // namespace

void oxTextureTransformMovieProcessor::arkRegisterInitialize(oxFields<oxTextureTransformMovieProcessor>& f)
{
    f.add(OX_FIELD(framesPerSecond)).setDefault(0.0f).onChange([](oxObject* object, const oxMetaField*) {
        frameRateChanged(static_cast<oxTextureTransformMovieProcessor*>(object));
    });
    f.add(OX_FIELD(cellCountX)).setDefault(1);
    f.add(OX_FIELD(cellCountY)).setDefault(1);
    f.add(OX_FIELD(totalCellCount)).setDefault(1);
    f.add(OX_FIELD(currentTextureMatrix));
    f.add(OX_FIELD(nextTextureMatrix));
    f.add(OX_FIELD(interpolateFrames)).setDefault(false);
    f.add(OX_FIELD(blendFactor));
    // Derived from the fields above, and the playing position.
    f.add(OX_FIELD(secondsPerFrame)).setDefault(0.0f).notPersistent();
    f.add(OX_FIELD(secondsPerCycle)).setDefault(0.0f).notPersistent();
    f.add(OX_FIELD(scaleX)).setDefault(1.0f).notPersistent();
    f.add(OX_FIELD(scaleY)).setDefault(1.0f).notPersistent();
    f.add(OX_FIELD(previousCycleTime)).setDefault(0.0f).notPersistent();
    f.add(OX_FIELD(previousFrameTime)).setDefault(int64_t(0)).notPersistent();
    f.add(OX_FIELD(previousCell)).setDefault(0).notPersistent();
    f.add(OX_FIELD(previousBlendFactor)).setDefault(0.0f).notPersistent();
}

void oxTextureTransformMovieProcessor::frameRateChanged(oxTextureTransformMovieProcessor* p)
{
    if (!p)
        return;
    if (p->_framesPerSecond != 0) {
        p->_secondsPerFrame = 1.0f / p->_framesPerSecond;
        p->_secondsPerCycle = float(p->_totalCellCount) * p->_secondsPerFrame;
    } else {
        p->_secondsPerFrame = 0;
        p->_secondsPerCycle = 0;
    }
}

bool oxTextureTransformMovieProcessor::configure(oxSimpleShader*, oxCapabilityManager*)
{
    if (_cellCountX < 1 || _cellCountY < 1 || _totalCellCount < 1) {
        oxReportWarning("oxTextureTransformMovieProcessor: a grid of %d x %d cells with %d in a cycle cannot play",
                        _cellCountX, _cellCountY, _totalCellCount);
        return false;
    }
    frameRateChanged(this);
    _scaleX = 1.0f / float(_cellCountX);
    _scaleY = 1.0f / float(_cellCountY);
    oxMatrix44f scale;
    scale.makeScale(oxVec3f(_scaleX, _scaleY, 1));
    if (_currentTextureMatrix)
        _currentTextureMatrix->setMatrix(scale);
    if (_nextTextureMatrix)
        _nextTextureMatrix->setMatrix(scale);
    _previousFrameTime = 0;
    _previousCycleTime = 0;
    _previousCell = 0;
    _previousBlendFactor = 0;
    return true;
}

int oxTextureTransformMovieProcessor::getAnimationCells(int64_t time, int& cell, int& nextCell, float& fraction)
{
    float c = _previousCycleTime;
    if (_previousFrameTime > 0) {
        const int64_t units = (time - _previousFrameTime) / kTimeUnit;
        c = _previousCycleTime + float(units) * float(kTimeUnit) * 1e-9f;
        // Without a rate there is no cycle to wrap in; the position only matters again
        // once a rate is set.
        if (_secondsPerCycle != 0)
            c = std::fmod(c, _secondsPerCycle);
    }
    if (_secondsPerFrame == 0) {
        cell = _previousCell;
        fraction = _previousBlendFactor;
    } else {
        cell = int(c / _secondsPerFrame);
        // At a negative rate the cycle time stays positive while the cell count runs down:
        // the fraction is then negative, and the "next" cell is the one shown before.
        fraction = std::fmod(c, _secondsPerFrame) / _secondsPerFrame;
    }
    if (cell < 0)
        cell += _totalCellCount;
    if (c >= 0) {
        nextCell = cell + 1;
        if (nextCell >= _totalCellCount)
            nextCell = 0;
    } else {
        nextCell = cell - 1;
        if (nextCell < 0)
            nextCell = _totalCellCount - 1;
    }
    _previousFrameTime = time;
    _previousCycleTime = c;
    _previousCell = cell;
    _previousBlendFactor = fraction;
    return cell;
}

void oxTextureTransformMovieProcessor::getCellLocationFromCellIndex(int index, int& column, int& row) const
{
    if (_cellCountX < 1) {
        column = row = 0;
        return;
    }
    column = index % _cellCountX;
    row = index / _cellCountX;
}

void oxTextureTransformMovieProcessor::computeTextureTransform(int cell, oxMatrix44f& matrix) const
{
    int column = 0, row = 0;
    getCellLocationFromCellIndex(cell, column, row);
    // Row 0 is the top of the image, where texture coordinates are highest.
    matrix.setTranslation(oxVec3f(_scaleX * float(column), _scaleY * float(_cellCountY - row - 1), 0));
}

void oxTextureTransformMovieProcessor::update(oxSimpleShader*, oxCommonTraversal* traversal)
{
    int cell = 0, next = 0;
    float fraction = 0;
    getAnimationCells(traversal->getTimeAsLong(), cell, next, fraction);
    if (_currentTextureMatrix) {
        oxMatrix44f m = _currentTextureMatrix->getMatrix();
        computeTextureTransform(cell, m);
        _currentTextureMatrix->setMatrix(m);
    }
    if (!_interpolateFrames)
        return;
    if (_nextTextureMatrix) {
        oxMatrix44f m = _nextTextureMatrix->getMatrix();
        computeTextureTransform(next, m);
        _nextTextureMatrix->setMatrix(m);
    }
    if (_blendFactor)
        _blendFactor->setVector(oxVec4f(fraction, fraction, fraction, 1));
}

} // namespace Kel::Sg

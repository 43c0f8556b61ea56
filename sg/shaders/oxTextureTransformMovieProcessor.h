#pragma once
#include "platform/attrs/oxMatrixAttrs.h"
#include "platform/attrs/oxTextureUnitAttrs.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

// Plays a texture laid out as a grid of cells as a flip-book: each update moves the texture
// matrix to the cell due at the traversal's time (cells counted row by row from the
// top-left one), optionally also to the following cell with the fraction of the current
// cell's time already spent, for passes that blend the two. A negative rate plays the cells
// backwards; a rate of 0 holds the current cell.
class oxTextureTransformMovieProcessor : public oxShaderProcessor {
    OX_CLASS(oxTextureTransformMovieProcessor, oxShaderProcessor)
    OX_FIELDS(framesPerSecond, cellCountX, cellCountY, totalCellCount, currentTextureMatrix, nextTextureMatrix,
              interpolateFrames, blendFactor, secondsPerFrame, secondsPerCycle, scaleX, scaleY, previousCycleTime,
              previousFrameTime, previousCell, previousBlendFactor)
public:
    // Scales the matrices to one cell and starts the cycle again; false (with a warning)
    // for a grid without cells.
    bool configure(oxSimpleShader* shader, oxCapabilityManager* capabilities) override;
    void update(oxSimpleShader* shader, oxCommonTraversal* traversal) override;

    // The cell due at `time` (nanoseconds), the one after it in the playing direction, and
    // the fraction of the cell's time spent; remembers them for the next call.
    virtual int getAnimationCells(int64_t time, int& cell, int& nextCell, float& fraction);
    // Moves `matrix` (translation only) to the cell.
    void computeTextureTransform(int cell, oxMatrix44f& matrix) const;
    void getCellLocationFromCellIndex(int index, int& column, int& row) const;
    // Recomputes the lengths derived from the rate; runs whenever the rate is set, also
    // through the metadata.
    static void frameRateChanged(oxTextureTransformMovieProcessor* processor);

    void setFramesPerSecond(float fps)
    {
        _framesPerSecond = fps;
        frameRateChanged(this);
    }
    float getFramesPerSecond() const { return _framesPerSecond; }
    void setCellCount(int x, int y, int total)
    {
        _cellCountX = x;
        _cellCountY = y;
        _totalCellCount = total;
        frameRateChanged(this);
    }
    int getCellCountX() const { return _cellCountX; }
    int getCellCountY() const { return _cellCountY; }
    int getTotalCellCount() const { return _totalCellCount; }
    Attrs::oxTextureMatrixAttr* getCurrentTextureMatrix() const { return _currentTextureMatrix; }
    void setCurrentTextureMatrix(Attrs::oxTextureMatrixAttr* attr) { _currentTextureMatrix = attr; }
    Attrs::oxTextureMatrixAttr* getNextTextureMatrix() const { return _nextTextureMatrix; }
    void setNextTextureMatrix(Attrs::oxTextureMatrixAttr* attr) { _nextTextureMatrix = attr; }
    bool getInterpolateFrames() const { return _interpolateFrames; }
    void setInterpolateFrames(bool on) { _interpolateFrames = on; }
    Attrs::oxVectorConstantAttr* getBlendFactor() const { return _blendFactor; }
    void setBlendFactor(Attrs::oxVectorConstantAttr* attr) { _blendFactor = attr; }
    float getSecondsPerFrame() const { return _secondsPerFrame; }
    float getSecondsPerCycle() const { return _secondsPerCycle; }

protected:
    oxTextureTransformMovieProcessor() = default;
    static void arkRegisterInitialize(oxFields<oxTextureTransformMovieProcessor>& f);

    float _framesPerSecond = 0;
    int _cellCountX = 1;
    int _cellCountY = 1;
    int _totalCellCount = 1;
    oxSmartPointer<Attrs::oxTextureMatrixAttr> _currentTextureMatrix;
    oxSmartPointer<Attrs::oxTextureMatrixAttr> _nextTextureMatrix;
    bool _interpolateFrames = false;
    oxSmartPointer<Attrs::oxVectorConstantAttr> _blendFactor;
    float _secondsPerFrame = 0;
    float _secondsPerCycle = 0;
    float _scaleX = 1;
    float _scaleY = 1;
    float _previousCycleTime = 0;
    int64_t _previousFrameTime = 0;
    int _previousCell = 0;
    float _previousBlendFactor = 0;
};

} // namespace Kel::Sg

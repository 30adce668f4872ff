// The per-pixel colour filters on the real renderer: defaults that leave the picture alone, and the
// computations checked against values worked out by hand.
#include <gtest/gtest.h>

#include <functional>

#include "GpuTestSupport.h"
#include "capture/gpu/GPUColorAdjustmentFilters.h"

TEST(GPUColorAdjustmentFiltersTest, DefaultsAndNeutralSettingsKeepThePicture)
{
    using namespace gputest;
    const std::pair<const char*, std::function<Ref<GPUFilter>()>> cases[] = {
        {"brightness", [] { return GPUBrightnessFilter::create(); }},
        {"contrast", [] { return GPUContrastFilter::create(); }},
        {"gamma", [] { return GPUGammaFilter::create(); }},
        {"saturation", [] { return GPUSaturationFilter::create(); }},
        {"colour matrix", [] { return GPUColorMatrixFilter::create(); }},
        {"sepia at intensity 0",
         [] {
             auto sepia = GPUSepiaFilter::create();
             sepia->setIntensity(0.0f);
             return sepia;
         }},
    };
    const Picture input = Picture::asymmetric(7, 5);
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(picturesMatch(input, gputest::runThrough(make(), input)));
    }
}

TEST(GPUColorAdjustmentFiltersTest, EachComputationGivesTheWorkedOutColour)
{
    using namespace gputest;
    using Case = FilterColourCase;
    // Input (100, 150, 200, 255) = (0.392, 0.588, 0.784, 1).
    const Case cases[] = {
        {"invert", [] { return GPUColorInvertFilter::create(); }, {155, 105, 55, 255}},
        // Row k of the sepia matrix gives component k; its last row is zero, so alpha is 0.
        {"sepia", [] { return GPUSepiaFilter::create(); }, {169, 141, 113, 0}},
        {"sepia at half intensity",
         [] {
             auto sepia = GPUSepiaFilter::create();
             sepia->setIntensity(0.5f);
             return sepia;
         },
         {134, 145, 156, 128}},
        // An asymmetric matrix: a transposed upload would swap red and green here.
        {"matrix takes red from green",
         [] {
             auto matrix = GPUColorMatrixFilter::create();
             matrix->setColorMatrix(GPUMatrix4x4{{0, 1, 0, 0}, {0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
             return matrix;
         },
         {150, 0, 200, 255}},
        {"brightness +0.2",
         [] {
             auto f = GPUBrightnessFilter::create();
             f->setBrightness(0.2f);
             return f;
         },
         {151, 201, 251, 255}},
        {"contrast 2",
         [] {
             auto f = GPUContrastFilter::create();
             f->setContrast(2.0f);
             return f;
         },
         {73, 173, 255, 255}},
        {"gamma 2",
         [] {
             auto f = GPUGammaFilter::create();
             f->setGamma(2.0f);
             return f;
         },
         {39, 88, 157, 255}},
        // Grey = 0.2125 x 100 + 0.7154 x 150 + 0.0721 x 200 = 142.9.
        {"saturation 0",
         [] {
             auto f = GPUSaturationFilter::create();
             f->setSaturation(0.0f);
             return f;
         },
         {143, 143, 143, 255}},
    };
    const Picture input = Picture::filled(4, 3, {100, 150, 200, 255});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(picturesMatch(Picture::filled(4, 3, c.expected),
                                  gputest::runThrough(c.make(), input)));
    }
}

TEST(GPUColorAdjustmentFiltersTest, SettersKeepTheirValues)
{
    auto sepia = GPUSepiaFilter::create();
    EXPECT_FLOAT_EQ(sepia->intensity(), 1.0f);
    EXPECT_FLOAT_EQ(sepia->colorMatrix().one.two, 0.7044f);
    EXPECT_FLOAT_EQ(sepia->colorMatrix().four.four, 0.0f);
    auto gamma = GPUGammaFilter::create();
    gamma->setGamma(3.0f);
    EXPECT_FLOAT_EQ(gamma->gamma(), 3.0f);
}

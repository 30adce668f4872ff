#include "platform/gl/EAGLDrawable.h"

CAEAGLLayer::CAEAGLLayer()
    : drawableProperties_(Value::dictionary({{kEAGLDrawablePropertyRetainedBacking, Value(false)},
                                             {kEAGLDrawablePropertyColorFormat, Value(kEAGLColorFormatRGBA8)}}))
{
}

Ref<CAEAGLLayer> CAEAGLLayer::layer()
{
    auto made = std::make_shared<CAEAGLLayer>();
    made->initBody();
    return made;
}

void CAEAGLLayer::presented(CGImageRef picture)
{
    setContents(std::move(picture));
    ++presentedCount_;
}

#include "social/SquareVC.h"

#include "api/PZRequest.h"

Ref<SquareVC> SquareVC::create()
{
    auto square = make<SquareVC>();
    square->setTitle("广场");
    return square;
}

void SquareVC::getData()
{
    PZRequest::getNewSquareData()->startAsynchronous();
}

#include "text/GChar.h"

#include "render/OEngine.h"

GChar::GChar()
{
    opacity = 255;
}

GChar::~GChar() = default;

void GChar::SetMode(u8 newMode)
{
    OClip::SetMode(newMode);
    switch (newMode)
    {
    case 0:
    case 4:
        visible = 1;
        drawMode = 6;
        break;
    case 1:
    case 2:
    case 7:
        visible = 0;
        drawMode = 6;
        break;
    case 3:
        visible = 1;
        drawMode = 3;
        opacity = 0;
        break;
    case 5:
    case 6:
        visible = 1;
        drawMode = 3;
        opacity = 255;
        break;
    default:
        break;
    }
}

void GChar::AddToEngine(OEngine* engine)
{
    if (engine != nullptr)
        engine->AddClip(this);
}

void GChar::Animate(const i16* parameters)
{
    const i16 step = parameters[0];
    switch (mode)
    {
    case 3:
        opacity = static_cast<u8>(opacity + step);
        return;
    case 5:
        opacity = static_cast<u8>(opacity - step);
        return;
    case 6:
        break;
    default:
        return;
    }
    x.AddAssign(OFixed::FromInt(vx));
    y.AddAssign(OFixed::FromInt(vy));
    vy = static_cast<i16>(vy + parameters[1]);
    const int faded = opacity - step;
    const bool gone = OFixed::Less(x, OFixed::FromInt(flightBounds.left)) ||
                      OFixed::Greater(x, OFixed::FromInt(flightBounds.right)) ||
                      OFixed::Less(y, OFixed::FromInt(flightBounds.top)) ||
                      OFixed::Greater(y, OFixed::FromInt(flightBounds.bottom));
    if (gone || faded <= 0)
    {
        opacity = 0;
        SetMode(1);
        return;
    }
    opacity = static_cast<u8>(faded);
}

#pragma once
#include "core/ORect.h"
#include "core/Types.h"
#include "render/OClip.h"

class OEngine;

// One glyph sprite of a line of text, with a small animation of its own. Its
// OClip mode byte holds the glyph mode:
//   0 shown, 1 hidden, 2 hidden and waiting to fade in, 3 fading in,
//   4 shown and waiting to fade out, 5 fading out, 6 flying away,
//   7 a blank of the text (never shown, never touched by state changes).
// The fading and flying modes draw with draw mode 3 (alpha times opacity),
// the others with the picture's own format.
class GChar : public OClip
{
public:
    i16 vx = 0;           // pixels per frame while flying
    i16 vy = 0;           // pixels per frame, positive downwards
    ORect flightBounds{}; // the flight ends once the glyph leaves it

    GChar();
    ~GChar() override;

    // Stores the mode, then sets visibility, draw mode and opacity by it;
    // modes above 7 are stored and change nothing else.
    void SetMode(u8 newMode) override;
    virtual void AddToEngine(OEngine* engine);
    // One frame of the glyph's own animation: parameters[0] is the opacity
    // step, parameters[1] the gravity of a flight.
    virtual void Animate(const i16* parameters);
};

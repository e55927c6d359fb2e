#pragma once
#include "image/jpeg/TJPEG_Decoder.h"

// The owner of one decoder, as the picture loaders use it.
class OJpegDecoder
{
public:
    // An empty holder; Create also opens it, as the loaders expect.
    OJpegDecoder() = default;
    static OJpegDecoder* Create();
    ~OJpegDecoder();

    void Open();
    void Close();
    i32 Begin(TJPEG_Stream* stream) { return decoder ? decoder->Begin(stream) : -1; }
    i32 DecodeLine(u8** line, u32* length) { return decoder ? decoder->DecodeLine(line, length) : -1; }
    i32 GetWidth() const { return decoder ? decoder->GetWidth() : 0; }
    i32 GetHeight() const { return decoder ? decoder->GetHeight() : 0; }
    TJPEG_Decoder* GetDecoder() const { return decoder; }

private:
    OJpegDecoder(const OJpegDecoder&) = delete;
    OJpegDecoder& operator=(const OJpegDecoder&) = delete;
    TJPEG_Decoder* decoder = nullptr;
};

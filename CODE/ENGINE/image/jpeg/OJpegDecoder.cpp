#include "image/jpeg/OJpegDecoder.h"

#include <new>

OJpegDecoder* OJpegDecoder::Create()
{
    auto* holder = new (std::nothrow) OJpegDecoder;
    if (holder != nullptr)
        holder->Open();
    return holder;
}

OJpegDecoder::~OJpegDecoder()
{
    Close();
}

void OJpegDecoder::Open()
{
    decoder = TJPEG_Decoder::Create();
}

void OJpegDecoder::Close()
{
    if (decoder != nullptr)
        decoder->Delete();
    decoder = nullptr;
}

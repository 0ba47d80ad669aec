// libFuzzer target for the bitmap reader. A picture that reads must have a size within the reader's
// bounds, and writing it back as a 1-bit bitmap and reading that again must give the same pixels.

#include "screens/bmp.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    const nemora::MonoImage image = nemora::ReadBmp(std::span(data, size), error);
    if (image.IsNull()) {
        if (error.empty())
            std::abort(); // a refusal always says why
        return 0;
    }
    if (!error.empty() || image.Width() > 4096 || image.Height() > 4096)
        std::abort();
    std::string again;
    const nemora::MonoImage copy = nemora::ReadBmp(nemora::WriteBmp(image), again);
    if (!again.empty() || !(copy == image))
        std::abort();
    return 0;
}

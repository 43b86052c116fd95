#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

// A firmware image from fuzz input: either the bytes as they come, or long
// runs described compactly, so that runs past 32768 and packets full of them
// are reached with small inputs. At most `cap` bytes.
inline QByteArray fuzzedImage(FuzzedDataProvider& in, int cap)
{
    if (in.ConsumeBool()) {
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        return QByteArray(bytes.data(), int(bytes.size()));
    }
    QByteArray image;
    while (in.remaining_bytes() > 0 && image.size() < cap) {
        if (in.ConsumeBool()) {
            const int count = in.ConsumeIntegralInRange<int>(1, 70000);
            image.append(QByteArray(qMin(count, cap - image.size()), char(in.ConsumeIntegral<uint8_t>())));
        } else {
            const std::string bytes = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 600));
            image.append(bytes.data(), int(bytes.size()));
        }
    }
    return image;
}

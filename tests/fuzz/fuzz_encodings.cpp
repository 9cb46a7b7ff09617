// Base64, hex, URL and quoted-printable: any bytes decode without an
// assertion; encoding then decoding gives the bytes back.

#include "framework/text/strings.h"
#include "tests/fuzz/fuzzsupport.h"

namespace
{
    std::string Bytes(const BINARY& b)
    {
        return std::string(reinterpret_cast<const char*>(b.Bytes() ? b.Bytes() : (const unsigned char*)""),
                           (size_t)b.Length());
    }

    int Hex(char c)
    {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x1fffffff)
        return 0;
    BINARY input(data, (int)size);
    const std::string original(reinterpret_cast<const char*>(data), size);

    // Decoding anything.
    STRING base64 = input.FromBase64();
    STRING hex = input.FromHex();
    STRING qp = input.FromQuotedPrintable();
    FUZZ_CHECK(base64.Length() <= (int)size && hex.Length() <= (int)size / 2 && qp.Length() <= (int)size,
               Bytes(qp), original);

    // Round trips.
    for (int linebreaks = 0; linebreaks < 2; linebreaks++)
    {
        STRING encoded = input.ToBase64(linebreaks);
        FUZZ_CHECK(Bytes(encoded.FromBase64()) == original, Bytes(encoded.FromBase64()), original);
    }
    STRING hexText = input.ToHex();
    FUZZ_CHECK(hexText.Length() == 2 * (int)size && Bytes(hexText.FromHex()) == original, Bytes(hexText.FromHex()),
               original);

    // The URL form holds only unreserved characters and %XX; read back by hand.
    STRING url = input.UrlEscape();
    std::string decoded;
    const std::string u = Bytes(url);
    for (size_t i = 0; i < u.size(); i++)
    {
        if (u[i] == '%')
        {
            FUZZ_CHECK(i + 2 < u.size() && Hex(u[i + 1]) >= 0 && Hex(u[i + 2]) >= 0, u, original);
            decoded.push_back((char)(Hex(u[i + 1]) * 16 + Hex(u[i + 2])));
            i += 2;
        }
        else
        {
            FUZZ_CHECK(isalnum((unsigned char)u[i]) || strchr("-_.~", u[i]), u, original);
            decoded.push_back(u[i]);
        }
    }
    FUZZ_CHECK(decoded == original, decoded, original);

    // Quoted-printable written by hand (every byte but printable ones as =XX,
    // soft line breaks every 20 characters) decodes to the bytes.
    std::string written;
    static const char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < size; i++)
    {
        unsigned char c = data[i];
        if (c >= 33 && c <= 126 && c != '=')
            written.push_back((char)c);
        else
            written += std::string("=") + digits[c >> 4] + digits[c & 15];
        if (i % 20 == 19)
            written += (i % 40 == 39) ? "=\r\n" : "=\n";
    }
    BINARY qpText(written.data(), (int)written.size());
    FUZZ_CHECK(Bytes(qpText.FromQuotedPrintable()) == original, Bytes(qpText.FromQuotedPrintable()), original);
    return 0;
}

// The floor for "vantry-cli resize": libjpeg alone, in one process, doing the least that the
// job needs: decode each picture, keep every second pixel of every second row (the pixel a
// nearest-pixel halving picks), encode at quality 90 with 4:2:0 sampling. No mark, no
// library around it.
//   floor_resize OUTPUT_DIR FILE...
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t declared before it
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool HalvePicture(const std::string& input, const std::string& output)
{
    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in)
        return false;
    jpeg_decompress_struct decoder;
    jpeg_error_mgr errors;
    decoder.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, in);
    jpeg_read_header(&decoder, TRUE);
    decoder.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decoder);

    const JDIMENSION width = decoder.output_width / 2;
    const JDIMENSION height = decoder.output_height / 2;
    std::vector<unsigned char> row(static_cast<std::size_t>(decoder.output_width) * 3);
    std::vector<unsigned char> half(static_cast<std::size_t>(width) * height * 3);
    for (JDIMENSION y = 0; y < decoder.output_height; ++y) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&decoder, rows, 1);
        // Row y is kept when it is the odd row of a pair (2 * k + 1), as the halving picks it.
        if (y % 2 == 0 || y / 2 >= height)
            continue;
        unsigned char* target = &half[static_cast<std::size_t>(y / 2) * width * 3];
        for (JDIMENSION x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                target[x * 3 + c] = row[(2 * x + 1) * 3 + c];
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    std::fclose(in);
    if (width == 0 || height == 0)
        return false;

    std::FILE* out = std::fopen(output.c_str(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct encoder;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, out);
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder); // 2x2 luminance sampling, that is 4:2:0
    jpeg_set_quality(&encoder, 90, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    for (JDIMENSION y = 0; y < height; ++y) {
        JSAMPROW rows[1] = {&half[static_cast<std::size_t>(y) * width * 3]};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: floor_resize OUTPUT_DIR FILE...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 2; i < argc; ++i)
        if (!HalvePicture(argv[i], std::string(argv[1]) + "/" + BaseName(argv[i]) + ".jpg"))
            ++failed;
    return failed == 0 ? 0 : 1;
}

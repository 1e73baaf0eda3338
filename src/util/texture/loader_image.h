// The intermediate image that the BMP and JPEG readers fill. Row 0 is the top row of
// the picture. A colour pixel keeps its channels in the order red, blue, green.
#pragma once

struct Texture;

class LoaderImage {
public:
    // type 1: grey (one value per pixel), 3: colour (three values per pixel).
    explicit LoaderImage(int type = 3) : type_(type) {}
    ~LoaderImage();
    LoaderImage(const LoaderImage&) = delete;
    LoaderImage& operator=(const LoaderImage&) = delete;

    // Allocates width x height pixels (contents undefined). False for a negative size
    // or when the memory cannot be had; the image is then empty.
    bool setSize(int width, int height);
    // Outside the image: nothing. In a grey image: (max + min) / 2 of r, g, b.
    void setPixel(int x, int y, int r, int g, int b);
    // One channel of a pixel as stored (grey: channel 0 only); -1 outside the image.
    int storedChannel(int x, int y, int channel) const;

    // width x height x 4 bytes (malloc), picture row 0 as the last buffer row, each
    // pixel R, G, B, 255; null for an empty image or when out of memory.
    unsigned char* toRGBA() const;

    int width() const { return width_; }
    int height() const { return height_; }
    int type() const { return type_; }

private:
    void release();

    int width_ = 0;
    int height_ = 0;
    int type_;
    unsigned char** rows_ = nullptr;   // height row pointers into pixels_
    unsigned char* pixels_ = nullptr;  // width x height x type values
};

// The common end of the BMP and JPEG loaders: a reader's result becomes the texture's
// 32-bit RGBA pixels. An empty image shows "Invalid texture information" with the
// calling loader's location (file, line); a failed conversion logs "Failed reading".
bool loaderImageToTexture(const LoaderImage& image, Texture* texture, const char* path,
                          const char* file, int line);

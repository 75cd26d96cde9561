#include "tools/PreviewRender.h"

#include "base/JobFiles.h"
#include "tools/Image.h"

#include <algorithm>

int PreviewPngFactor(int width, int height)
{
    int factor = 1;
    while (width > 0 && height > 0 && std::max(width, height) * factor * 2 <= kPreviewPngEnlargeTo)
        factor *= 2;
    return factor;
}

bool RenderPreviewPngImage(const WaterImage& image, const ShorelineSet& lines, double metresPerPixel,
                           std::vector<std::uint8_t>& rgb, int& width, int& height)
{
    if (image.width <= 0 || image.height <= 0)
        return false;
    PreviewGeometry view;
    view.fit(image.width, image.height, image.width, image.height);
    const int factor = PreviewPngFactor(image.width, image.height);
    for (int zoom = 1; zoom < factor; zoom *= 2)
        view.zoomIn();
    width = image.width * factor;
    height = image.height * factor;
    RenderPreview(image, lines, view, width, height, metresPerPixel, rgb);
    return true;
}

bool SavePreviewPng(const std::string& path, const WaterImage& image, const ShorelineSet& lines, double metresPerPixel)
{
    std::vector<std::uint8_t> rgb;
    int width = 0;
    int height = 0;
    return RenderPreviewPngImage(image, lines, metresPerPixel, rgb, width, height) &&
           SavePng(path, rgb.data(), width, height, 3);
}

Status WriteBanksPreview(const std::string& path, const BanksResult& generated)
{
    if (SavePreviewPng(path, generated.filtered, generated.lines, double(generated.metresPerPixel)))
        return Ok();
    if (generated.filtered.width > 0 && generated.filtered.height > 0)
        return {StatusCode::writeFailed, OutputFailure(path)};
    return {StatusCode::invalidInput, path + ": the water image is empty (the mask is smaller than the scale)"};
}

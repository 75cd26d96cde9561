#pragma once
// A non-owning view of a row-major raster: element (x, y) is data[y * stride + x].
#include <cassert>
#include <cstddef>

template <typename T>
struct RasterView
{
    T* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // in elements

    RasterView() = default;
    RasterView(T* d, int w, int h) : data(d), width(w), height(h), stride(w) {}
    RasterView(T* d, int w, int h, std::ptrdiff_t s) : data(d), width(w), height(h), stride(s) {}

    T* row(int y) const { return data + y * stride; }
    T& at(int x, int y) const
    {
        assert(x >= 0 && x < width && y >= 0 && y < height);
        return data[y * stride + x];
    }
    std::size_t size() const { return std::size_t(width) * std::size_t(height); }
};

template <typename T>
using ConstRasterView = RasterView<const T>;

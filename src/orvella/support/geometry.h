#pragma once
// Plain geometry in global desktop points: origin at the bottom-left of the
// primary display, y up. Rectangles are half-open (max edges are outside).

#include <algorithm>
#include <cmath>
#include <optional>

namespace orvella {

struct Vector {
    double dx = 0;
    double dy = 0;
    friend bool operator==(const Vector&, const Vector&) = default;
    double length() const { return std::hypot(dx, dy); }
    Vector operator+(Vector o) const { return {dx + o.dx, dy + o.dy}; }
    Vector operator-(Vector o) const { return {dx - o.dx, dy - o.dy}; }
    Vector operator*(double k) const { return {dx * k, dy * k}; }
    Vector operator/(double k) const { return {dx / k, dy / k}; }
    Vector& operator+=(Vector o) { dx += o.dx; dy += o.dy; return *this; }
};

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
    Point operator+(Vector v) const { return {x + v.dx, y + v.dy}; }
    Point operator-(Vector v) const { return {x - v.dx, y - v.dy}; }
    Vector operator-(Point o) const { return {x - o.x, y - o.y}; }
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;
    friend bool operator==(const Rect&, const Rect&) = default;

    static Rect make(double x, double y, double w, double h) { return {{x, y}, {w, h}}; }

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return size.width; }
    double height() const { return size.height; }
    Point center() const { return {midX(), midY()}; }

    bool contains(Point p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    Rect insetBy(double dx, double dy) const {
        return make(origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy);
    }

    // The shared part; absent when the two do not overlap (touching edges
    // share nothing).
    std::optional<Rect> intersection(const Rect& o) const {
        const double x0 = std::max(minX(), o.minX());
        const double y0 = std::max(minY(), o.minY());
        const double x1 = std::min(maxX(), o.maxX());
        const double y1 = std::min(maxY(), o.maxY());
        if (!(x1 > x0) || !(y1 > y0)) return std::nullopt;
        return make(x0, y0, x1 - x0, y1 - y0);
    }

    Rect unionWith(const Rect& o) const {
        const double x0 = std::min(minX(), o.minX());
        const double y0 = std::min(minY(), o.minY());
        const double x1 = std::max(maxX(), o.maxX());
        const double y1 = std::max(maxY(), o.maxY());
        return make(x0, y0, x1 - x0, y1 - y0);
    }
};

}  // namespace orvella

#include "render/coverage_raster.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <numbers>

namespace orvella::render {

namespace {

// How far a flattened curve may stray from the true one, in device pixels.
constexpr double kTolerance = 0.15;
constexpr int kMaxCurveSteps = 128;

// x * a / 255 for each channel of a premultiplied pixel, rounded.
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a) {
    std::uint32_t t = (x & 0xff00ffu) * a;
    t = (t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8;
    t &= 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = x + ((x >> 8) & 0xff00ffu) + 0x800080u;
    x &= 0xff00ff00u;
    return x | t;
}

inline std::uint32_t channel(double v) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// Sets the bits of cells [from, to].
inline void markTouched(std::uint64_t* bits, int from, int to) {
    for (int w = from >> 6; w <= to >> 6; ++w) {
        const int a = w == from >> 6 ? from & 63 : 0, b = w == to >> 6 ? to & 63 : 63;
        const std::uint64_t high = b == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (b + 1)) - 1;
        bits[w] |= high & (~std::uint64_t{0} << a);
    }
}

inline double length(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

inline int stepsFor(double deviation, double scale) {
    const double n = std::ceil(std::sqrt(scale * deviation / kTolerance));
    return n >= kMaxCurveSteps ? kMaxCurveSteps : std::max(1, static_cast<int>(n));
}

}  // namespace

void blendPixels(const PixelBuffer& target, const std::uint32_t* source, int width, int height, std::ptrdiff_t stride,
                 int x, int y, double opacity) {
    const std::uint32_t o = channel(opacity);
    if (o == 0 || !source) return;
    const int left = std::max({target.clipLeft, 0, x}), right = std::min({target.clipRight, target.width, x + width});
    const int top = std::max({target.clipTop, 0, y}), bottom = std::min({target.clipBottom, target.height, y + height});
    for (int row = top; row < bottom; ++row) {
        const std::uint32_t* from = source + static_cast<std::ptrdiff_t>(row - y) * stride - x;
        std::uint32_t* to = target.pixels + static_cast<std::ptrdiff_t>(row) * target.stride;
        for (int i = left; i < right; ++i) {
            std::uint32_t s = from[i];
            if (s == 0) continue;
            if (o != 255) s = byteMul(s, o);
            to[i] = s + byteMul(to[i], 255 - (s >> 24));
        }
    }
}

bool CoverageRaster::flatten(const Path& path, const PixelTransform& m) {
    points_.clear();
    subpaths_.clear();
    bool finite = true;
    Point current{}, start{};   // canvas points
    bool needsStart = true;     // the next drawing element begins a subpath
    auto push = [&](Point device) {
        finite = finite && std::isfinite(device.x) && std::isfinite(device.y);
        points_.push_back(device);
        ++subpaths_.back().count;
    };
    auto beginSubpath = [&](Point p) {
        subpaths_.push_back({points_.size(), 0, false});
        push(m.map(p));
        start = p;
        needsStart = false;
    };
    auto ensureSubpath = [&] {
        if (needsStart) beginSubpath(current);
    };
    for (const auto& e : path.elements()) {
        switch (e.kind) {
            case Path::Kind::move:
                beginSubpath(e.p1);
                current = e.p1;
                break;
            case Path::Kind::line:
                ensureSubpath();
                push(m.map(e.p1));
                current = e.p1;
                break;
            case Path::Kind::quad: {
                ensureSubpath();
                const Point a = points_.back(), c = m.map(e.p2), b = m.map(e.p1);
                const double dd = std::hypot(a.x - 2 * c.x + b.x, a.y - 2 * c.y + b.y);
                const int n = stepsFor(dd, 0.25);
                // Chords cut inside the curve's bend; the points between
                // are moved out by two thirds of the chords' sag (the
                // second derivative times h²/12), so that the outline
                // keeps the curve's area instead of shrinking.
                const double k = -2.0 / (12.0 * n * n);
                const Point bend{k * (a.x - 2 * c.x + b.x), k * (a.y - 2 * c.y + b.y)};
                for (int i = 1; i <= n; ++i) {
                    const double t = static_cast<double>(i) / n, u = 1 - t;
                    const double o = i < n ? 1 : 0;
                    push({u * u * a.x + 2 * u * t * c.x + t * t * b.x + o * bend.x,
                          u * u * a.y + 2 * u * t * c.y + t * t * b.y + o * bend.y});
                }
                current = e.p1;
                break;
            }
            case Path::Kind::cubic: {
                ensureSubpath();
                const Point a = points_.back(), c1 = m.map(e.p2), c2 = m.map(e.p3), b = m.map(e.p1);
                const double dd = std::max(std::hypot(a.x - 2 * c1.x + c2.x, a.y - 2 * c1.y + c2.y),
                                           std::hypot(c1.x - 2 * c2.x + b.x, c1.y - 2 * c2.y + b.y));
                const int n = stepsFor(dd, 0.75);
                const double k = -6.0 / (12.0 * n * n);
                const Point d0{a.x - 2 * c1.x + c2.x, a.y - 2 * c1.y + c2.y};
                const Point d1{c1.x - 2 * c2.x + b.x, c1.y - 2 * c2.y + b.y};
                for (int i = 1; i <= n; ++i) {
                    const double t = static_cast<double>(i) / n, u = 1 - t;
                    const double k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
                    const double o = i < n ? k : 0;
                    push({k0 * a.x + k1 * c1.x + k2 * c2.x + k3 * b.x + o * (u * d0.x + t * d1.x),
                          k0 * a.y + k1 * c1.y + k2 * c2.y + k3 * b.y + o * (u * d0.y + t * d1.y)});
                }
                current = e.p1;
                break;
            }
            case Path::Kind::arc: {
                // Angles counter-clockwise from +x, as the path states them;
                // the sweep runs the way `clockwise` says, less than a turn.
                double sweep = e.endAngle - e.startAngle;
                if (e.clockwise && sweep > 0) sweep -= 2 * std::numbers::pi;
                if (!e.clockwise && sweep < 0) sweep += 2 * std::numbers::pi;
                auto at = [&](double angle) {
                    return Point{e.p1.x + e.radius * std::cos(angle), e.p1.y + e.radius * std::sin(angle)};
                };
                const Point first = at(e.startAngle);
                if (needsStart) beginSubpath(first);
                else push(m.map(first));
                const double scale = std::sqrt(std::abs(m.m11 * m.m22 - m.m12 * m.m21));
                const double r = std::abs(e.radius) * scale;
                int n = 1;
                if (r > kTolerance && std::isfinite(r) && std::isfinite(sweep)) {
                    const double step = 2 * std::acos(1 - kTolerance / r);
                    n = static_cast<int>(std::min(std::ceil(std::abs(sweep) / step), 4.0 * kMaxCurveSteps));
                    n = std::max(n, 1);
                }
                // As for curves: the points between lie out by two thirds
                // of the chords' sag.
                const double out = 1 + 2.0 / 3.0 * (1 - std::cos(sweep / n / 2));
                for (int i = 1; i <= n; ++i) {
                    const Point p = at(e.startAngle + sweep * i / n);
                    const double f = i < n ? out : 1;
                    push(m.map({e.p1.x + (p.x - e.p1.x) * f, e.p1.y + (p.y - e.p1.y) * f}));
                }
                current = at(e.startAngle + sweep);
                break;
            }
            case Path::Kind::close:
                if (!subpaths_.empty() && !needsStart) subpaths_.back().closed = true;
                current = start;
                needsStart = true;
                break;
        }
        if (!finite) return false;
    }
    if (points_.empty()) return true;
    minX_ = maxX_ = points_.front().x;
    minY_ = maxY_ = points_.front().y;
    for (const Point p : points_) {
        minX_ = std::min(minX_, p.x);
        maxX_ = std::max(maxX_, p.x);
        minY_ = std::min(minY_, p.y);
        maxY_ = std::max(maxY_, p.y);
    }
    return maxX_ - minX_ <= maxSide && maxY_ - minY_ <= maxSide;
}

bool CoverageRaster::begin(const PixelBuffer& target, double minX, double minY, double maxX, double maxY) {
    const int left = std::max(target.clipLeft, 0), right = std::min(target.clipRight, target.width);
    const int top = std::max({static_cast<int>(std::floor(minY)), target.clipTop, 0});
    const int bottom = std::min({static_cast<int>(std::ceil(maxY)), target.clipBottom, target.height});
    if (bottom <= top || right <= left) return false;
    if (std::ceil(maxX) <= left || std::floor(minX) >= right) return false;
    // The cells span the shape's whole width, so that no edge needs cutting
    // at the sides; only the rows are limited to the clip.
    originX_ = static_cast<int>(std::floor(minX));
    width_ = static_cast<int>(std::ceil(maxX)) - originX_ + 1;
    originY_ = top;
    rows_ = bottom - top;
    const auto size = static_cast<std::size_t>(width_ + 2) * static_cast<std::size_t>(rows_);
    words_ = (width_ + 2 + 63) / 64;
    const auto wordCount = static_cast<std::size_t>(words_) * static_cast<std::size_t>(rows_);
    // Every cell and bit is back to zero after each composite, so growing is
    // all the preparing they need.
    if (cells_.size() < size) cells_.resize(size, 0.0f);
    if (touched_.size() < wordCount) touched_.resize(wordCount, 0);
    rowFirst_.assign(static_cast<std::size_t>(rows_), INT_MAX);
    rowLast_.assign(static_cast<std::size_t>(rows_), -1);
    return true;
}

void CoverageRaster::edge(Point a, Point b) {
    double x0 = a.x - originX_, y0 = a.y - originY_, x1 = b.x - originX_, y1 = b.y - originY_;
    if (y0 == y1) return;
    double dir = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dir = -1;
    }
    const double dxdy = (x1 - x0) / (y1 - y0);
    double x = x0, ys = y0;
    if (ys < 0) {
        x -= ys * dxdy;
        ys = 0;
    }
    const double ye = std::min(y1, static_cast<double>(rows_));
    if (ys >= ye) return;
    const double right = width_;
    const std::size_t stride = static_cast<std::size_t>(width_) + 2;
    for (int y = static_cast<int>(ys); y < ye; ++y) {
        const double dy = std::min(y + 1.0, ye) - std::max(static_cast<double>(y), ys);
        const double xnext = x + dxdy * dy;
        const double d = dy * dir;
        double xa = std::clamp(std::min(x, xnext), 0.0, right), xb = std::clamp(std::max(x, xnext), 0.0, right);
        float* row = cells_.data() + static_cast<std::size_t>(y) * stride;
        const int ia = static_cast<int>(xa);
        int last;
        if (xb <= ia + 1) {
            // Within one cell: the share right of the edge's middle stays in
            // it, the rest carries to the next.
            const double xm = 0.5 * (xa + xb) - ia;
            row[ia] += static_cast<float>(d * (1 - xm));
            row[ia + 1] += static_cast<float>(d * xm);
            last = ia + 1;
        } else {
            const double s = 1 / (xb - xa);
            const double fa = xa - ia;
            const double a0 = 0.5 * s * (1 - fa) * (1 - fa);
            const int ib = static_cast<int>(std::ceil(xb));
            const double fb = xb - ib + 1;
            const double am = 0.5 * s * fb * fb;
            row[ia] += static_cast<float>(d * a0);
            if (ib == ia + 2) {
                row[ia + 1] += static_cast<float>(d * (1 - a0 - am));
            } else {
                const double a1 = s * (1.5 - fa);
                row[ia + 1] += static_cast<float>(d * (a1 - a0));
                for (int i = ia + 2; i < ib - 1; ++i) row[i] += static_cast<float>(d * s);
                const double a2 = a1 + (ib - ia - 3) * s;
                row[ib - 1] += static_cast<float>(d * (1 - a2 - am));
            }
            row[ib] += static_cast<float>(d * am);
            last = ib;
        }
        auto& first = rowFirst_[static_cast<std::size_t>(y)];
        auto& end = rowLast_[static_cast<std::size_t>(y)];
        first = std::min(first, ia);
        end = std::max(end, last);
        markTouched(touched_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(words_), ia, last);
        x = xnext;
    }
}

void CoverageRaster::composite(const PixelBuffer& target, Color color, double opacity) {
    const double a = std::clamp(color.a * opacity, 0.0, 1.0);
    const std::uint32_t src = channel(a) << 24 | channel(color.r * a) << 16 | channel(color.g * a) << 8 |
                              channel(color.b * a);
    // Cells that fall outside the clip are still summed, never drawn.
    const int lo = std::max(target.clipLeft, 0) - originX_;
    const int hi = std::min(target.clipRight, target.width) - 1 - originX_;
    const std::size_t stride = static_cast<std::size_t>(width_) + 2;
    auto coverageOf = [](float sum) {
        const float c = std::abs(sum);
        return c >= 1 ? 255u : static_cast<std::uint32_t>(c * 255 + 0.5f);
    };
    for (int y = 0; y < rows_; ++y) {
        const int first = rowFirst_[static_cast<std::size_t>(y)], last = rowLast_[static_cast<std::size_t>(y)];
        if (last < first) continue;
        float* row = cells_.data() + static_cast<std::size_t>(y) * stride;
        std::uint64_t* bits = touched_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(words_);
        std::uint32_t* out = target.pixels + static_cast<std::ptrdiff_t>(originY_ + y) * target.stride + originX_;
        // Pixels [from, to] at one coverage.
        auto run = [&](int from, int to, std::uint32_t coverage) {
            from = std::max(from, lo);
            to = std::min(to, hi);
            if (coverage == 0 || src == 0 || from > to) return;
            const std::uint32_t s = coverage == 255 ? src : byteMul(src, coverage);
            const std::uint32_t keep = 255 - (s >> 24);
            if (keep == 0) std::fill(out + from, out + to + 1, s);
            else
                for (int i = from; i <= to; ++i) out[i] = s + byteMul(out[i], keep);
        };
        float sum = 0;
        int i = first;
        while (i <= last) {
            // The next touched cell; the stretch before it keeps the sum.
            int w = i >> 6;
            std::uint64_t word = bits[w] & (~std::uint64_t{0} << (i & 63));
            while (word == 0 && (w + 1) * 64 <= last) word = bits[++w];
            const int next = word != 0 ? std::min(w * 64 + std::countr_zero(word), last + 1) : last + 1;
            if (next > i) run(i, next - 1, coverageOf(sum));
            if (next > last) break;
            bits[next >> 6] &= ~(std::uint64_t{1} << (next & 63));
            sum += row[next];
            row[next] = 0;
            run(next, next, coverageOf(sum));
            i = next + 1;
        }
    }
}

bool CoverageRaster::fill(const PixelBuffer& target, const Path& path, const PixelTransform& transform, Color color,
                          double opacity) {
    if (!flatten(path, transform)) return false;
    if (points_.empty() || !begin(target, minX_, minY_, maxX_, maxY_)) return true;
    for (const auto& sub : subpaths_) {
        const Point* p = points_.data() + sub.first;
        for (std::size_t i = 0; i + 1 < sub.count; ++i) edge(p[i], p[i + 1]);
        if (sub.count > 1) edge(p[sub.count - 1], p[0]);
    }
    composite(target, color, opacity);
    return true;
}

bool CoverageRaster::strokeHairline(const PixelBuffer& target, const Path& path, const PixelTransform& transform,
                                    double width, LineCap cap, Color color, double opacity) {
    if (!(width >= 0 && width <= 1)) return false;
    if (!flatten(path, transform)) return false;
    if (points_.empty() || !begin(target, minX_ - 1, minY_ - 1, maxX_ + 1, maxY_ + 1)) return true;
    // Each segment is a parallelogram one pixel across its major axis, all
    // turning the same way so that where they meet they add up, not cancel.
    // Where two segments in a row share the offset, the end of one and the
    // start of the next are the same edge both ways round: neither is drawn.
    auto offsetOf = [](Point a, Point b) {
        const double dx = b.x - a.x, dy = b.y - a.y;
        return std::abs(dx) >= std::abs(dy) ? Point{0, dx > 0 ? 0.5 : -0.5} : Point{dy > 0 ? -0.5 : 0.5, 0};
    };
    auto extended = [](Point from, Point to, double by) {
        const double l = length(from, to);
        if (l == 0) return to;
        return Point{to.x + (to.x - from.x) / l * by, to.y + (to.y - from.y) / l * by};
    };
    const bool capped = cap != LineCap::butt;
    std::vector<Segment>& segments = segments_;
    for (const auto& sub : subpaths_) {
        if (sub.count < 2) continue;
        const Point* p = points_.data() + sub.first;
        segments.clear();
        for (std::size_t i = 0; i + 1 < sub.count; ++i) {
            Point a = p[i], b = p[i + 1];
            if (capped && !sub.closed) {
                if (i == 0) a = extended(b, a, 0.5);
                if (i + 2 == sub.count) b = extended(a, b, 0.5);
            }
            if (a.x == b.x && a.y == b.y) continue;
            segments.push_back({a, b, offsetOf(a, b)});
        }
        if (sub.closed && !(p[sub.count - 1].x == p[0].x && p[sub.count - 1].y == p[0].y))
            segments.push_back({p[sub.count - 1], p[0], offsetOf(p[sub.count - 1], p[0])});
        const std::size_t n = segments.size();
        // A closed outline whose first segment carries on the last one's
        // offset needs no cap where it closes either.
        const bool wraps = sub.closed && n > 1;
        for (std::size_t i = 0; i < n; ++i) {
            const Segment& s = segments[i];
            const Point o = s.o;
            const Segment* before = i > 0 ? &segments[i - 1] : wraps ? &segments[n - 1] : nullptr;
            const Segment* after = i + 1 < n ? &segments[i + 1] : wraps ? &segments[0] : nullptr;
            const Point a1{s.a.x + o.x, s.a.y + o.y}, b1{s.b.x + o.x, s.b.y + o.y};
            const Point b2{s.b.x - o.x, s.b.y - o.y}, a2{s.a.x - o.x, s.a.y - o.y};
            edge(a1, b1);
            if (!after || after->o.x != o.x || after->o.y != o.y || after->a.x != s.b.x || after->a.y != s.b.y)
                edge(b1, b2);
            edge(b2, a2);
            if (!before || before->o.x != o.x || before->o.y != o.y || before->b.x != s.a.x || before->b.y != s.a.y)
                edge(a2, a1);
        }
    }
    composite(target, color, opacity * width);
    return true;
}

}  // namespace orvella::render

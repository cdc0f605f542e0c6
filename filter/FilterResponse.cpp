#include "filter/FilterResponse.h"

#include <algorithm>
#include <cmath>

#include "filter/DesignMath.h"

namespace skelvane {
namespace {

// Frequencies the bands are searched over, per decade, and halvings that then pin each edge down.
constexpr double kSearchPerDecade = 400.0;
constexpr int32_t kRefinements = 40;
constexpr double kLowestFromHz = 1.0;
constexpr double kDecade = 10.0;

double Db(const FilterDesign& design, double hz) { return DesignMath::Decibels(std::fabs(design.Gain(hz))); }

// Between `inside` (where `holds` is true) and `outside` (where it is not), the frequency where it stops.
template <typename Holds>
double Edge(double inside, double outside, Holds holds) {
  for (int32_t i = 0; i < kRefinements; ++i) {
    const double middle = std::sqrt(inside * outside);
    if (holds(middle)) {
      inside = middle;
    } else {
      outside = middle;
    }
  }
  return inside;
}

}  // namespace

FilterResponse FilterResponse::Of(const FilterDesign& design) {
  FilterResponse response;
  const FilterChoice& chosen = design.Choice();
  const double lowest = chosen.LowHz().value_or(chosen.HighHz().value_or(kLowestFromHz));
  response.fromHz = std::min(kLowestFromHz, lowest / kDecade);
  response.toHz = design.RateHz() / 2.0;
  const double from = response.fromHz;
  const double to = response.toHz;
  const auto count = static_cast<int32_t>(std::ceil(std::log10(to / from) * kSearchPerDecade));
  std::vector<double> grid(static_cast<std::size_t>(count) + 1);
  for (int32_t i = 0; i <= count; ++i) grid[static_cast<std::size_t>(i)] = from * std::pow(to / from, static_cast<double>(i) / count);
  std::vector<double> db(grid.size());
  std::transform(grid.begin(), grid.end(), db.begin(), [&](double hz) { return Db(design, hz); });

  // The band's middle: between the cut-offs (geometrically), or past the one there is.
  const double middleHz = std::sqrt(chosen.LowHz().value_or(from) * chosen.HighHz().value_or(to));
  const std::size_t middle = std::min<std::size_t>(
      static_cast<std::size_t>(std::lower_bound(grid.begin(), grid.end(), middleHz) - grid.begin()), grid.size() - 1);
  const auto flat = [&](double hz) { return std::fabs(Db(design, hz)) <= kPassDeviationDb; };
  if (std::fabs(db[middle]) <= kPassDeviationDb) {
    std::size_t lo = middle;
    std::size_t hi = middle;
    while (lo > 0 && std::fabs(db[lo - 1]) <= kPassDeviationDb) --lo;
    while (hi + 1 < grid.size() && std::fabs(db[hi + 1]) <= kPassDeviationDb) ++hi;
    // A pass band down to the lowest frequency searched reaches 0 Hz (nothing but a high-pass falls there).
    response.passLowHz = lo == 0 ? 0.0 : Edge(grid[lo], grid[lo - 1], flat);
    response.passHighHz = hi + 1 == grid.size() ? to : Edge(grid[hi], grid[hi + 1], flat);
    response.rippleHighDb = *std::max_element(db.begin() + static_cast<std::ptrdiff_t>(lo), db.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
    response.rippleLowDb = *std::min_element(db.begin() + static_cast<std::ptrdiff_t>(lo), db.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
    const auto aboveCorner = [&](double hz) { return Db(design, hz) >= kCornerDb; };
    std::size_t c = lo;
    while (c > 0 && db[c - 1] >= kCornerDb) --c;
    if (c > 0) response.cornerLowHz = Edge(grid[c], grid[c - 1], aboveCorner);
    c = hi;
    while (c + 1 < grid.size() && db[c + 1] >= kCornerDb) ++c;
    if (c + 1 < grid.size()) response.cornerHighHz = Edge(grid[c], grid[c + 1], aboveCorner);
  }
  const auto stopped = [&](double hz) { return Db(design, hz) <= kStopDb; };
  if (db.front() <= kStopDb) {
    std::size_t s = 0;
    while (s + 1 < grid.size() && db[s + 1] <= kStopDb) ++s;
    if (s + 1 < grid.size()) response.stopBelowHz = Edge(grid[s], grid[s + 1], stopped);
  }
  if (db.back() <= kStopDb) {
    std::size_t s = grid.size() - 1;
    while (s > 0 && db[s - 1] <= kStopDb) --s;
    if (s > 0) response.stopAboveHz = Edge(grid[s], grid[s - 1], stopped);
  }
  return response;
}

std::vector<FilterResponse::Row> FilterResponse::Table(const FilterDesign& design, int32_t perDecade) const {
  std::vector<Row> rows;
  const auto count = static_cast<int32_t>(std::floor(std::log10(toHz / fromHz) * perDecade + 1e-9));
  for (int32_t i = 0; i <= count; ++i) {
    const double hz = fromHz * std::pow(kDecade, static_cast<double>(i) / perDecade);
    rows.push_back({hz, Db(design, hz), ""});
  }
  if (rows.empty() || rows.back().hz < toHz) rows.push_back({toHz, Db(design, toHz), ""});
  const auto mark = [&](const std::optional<double>& hz, const char* label) {
    if (hz && *hz > 0.0) rows.push_back({*hz, Db(design, *hz), label});
  };
  mark(design.Choice().LowHz(), "low cut-off");
  mark(design.Choice().HighHz(), "high cut-off");
  mark(cornerLowHz, "-3 dB");
  mark(cornerHighHz, "-3 dB");
  mark(passLowHz, "pass band from");
  if (passHighHz && *passHighHz < toHz) mark(passHighHz, "pass band to");
  mark(stopBelowHz, "stop band to");
  mark(stopAboveHz, "stop band from");
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.hz < b.hz; });
  return rows;
}

}  // namespace skelvane

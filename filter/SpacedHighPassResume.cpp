#include "filter/SpacedHighPassResume.h"

#include <algorithm>
#include <array>

#include "datafile/CscRecord.h"
#include "filter/FilterWorkspace.h"

namespace skelvane {

bool SpacedHighPassResume::Fits(const FilterDesign& design) {
  const std::vector<FilterDesign::Part> parts = design.Parts();
  return parts.size() == 3 && parts[0].fir != nullptr && parts[1].spacedHighPass != nullptr && parts[2].fir != nullptr;
}

const SpacedHighPass* SpacedHighPassResume::HighPassOf(const FilterDesign& design) {
  return Fits(design) ? design.Parts()[1].spacedHighPass : nullptr;
}

SpacedHighPassResume::SpacedHighPassResume(const FilterDesign& design)
    : suppressor_(*design.Parts()[0].fir), highPass_(*design.Parts()[1].spacedHighPass), fir_(*design.Parts()[2].fir) {}

int64_t SpacedHighPassResume::ResumeAt(int64_t record) const {
  return record * kSamplesPerRecord - fir_.HalfSupport() + highPass_.HalfSupport();
}

SpacedHighPassResume::Steps SpacedHighPassResume::StepsFor(int64_t record, int64_t from, int64_t to) const {
  const int64_t state = ResumeAt(record);
  const int32_t spacing = highPass_.Spacing();
  // The first step whose output the last FIR weighs for `from`, moved back onto the state's phases.
  const int64_t wanted = from - fir_.HalfSupport() + highPass_.HalfSupport() - state;
  const int64_t first = state + (wanted >= 0 ? wanted / spacing : -((-wanted + spacing - 1) / spacing)) * spacing;
  // The steps go on to the last output the FIR weighs (and the one past it it reads).
  const int64_t end = to + fir_.HalfSupport() + FirStage::kReadPad + highPass_.HalfSupport();
  return {state, first, std::min(state, first), end};
}

int64_t SpacedHighPassResume::RawFrom(int64_t record, int64_t from) const {
  // The earliest input any step reads: three window spans before the first step.
  return StepsFor(record, from, from + 1).begin - 3 * highPass_.Spacing() * highPass_.Length() - suppressor_.HalfSupport();
}

int64_t SpacedHighPassResume::RawTo(int64_t record, int64_t to) const {
  const Steps steps = StepsFor(record, to - 1, to);
  return std::max(steps.state, steps.end) + suppressor_.HalfSupport() + FirStage::kReadPad;
}

std::array<SpacedHighPassResume::Range, SpacedHighPassResume::kStretches> SpacedHighPassResume::InputStretches(
    const Steps& steps) const {
  const int64_t delay = highPass_.Spacing() * highPass_.Length();
  const int64_t half = highPass_.HalfSupport();
  // Each step, forward or back, reads its input at the step and one, two and three window spans
  // back; those that make outputs read the centre too.
  const int64_t top = std::max(steps.state, steps.end);
  std::array<Range, kStretches> stretches{{{steps.begin - 3 * delay, top - 3 * delay},
                                           {steps.begin - 2 * delay, top - 2 * delay},
                                           {steps.first - half, steps.end - half},
                                           {steps.begin - delay, top - delay},
                                           {steps.begin, top}}};
  std::sort(stretches.begin(), stretches.end(), [](const Range& a, const Range& b) { return a.from < b.from; });
  return stretches;
}

std::array<SpacedHighPassResume::Range, SpacedHighPassResume::kStretches> SpacedHighPassResume::RawStretches(
    int64_t record, int64_t from, int64_t to) const {
  std::array<Range, kStretches> stretches = InputStretches(StepsFor(record, from, to));
  for (Range& stretch : stretches) {
    stretch.from -= suppressor_.HalfSupport();
    stretch.to += suppressor_.HalfSupport() + FirStage::kReadPad;
  }
  return stretches;
}

void SpacedHighPassResume::Filter(int64_t record, const SpacedHighPass::Running& sums, int64_t from, int64_t to,
                                  const int16_t* raw, int64_t rawStart, std::span<const Range> only, int16_t* out,
                                  Buffers& buffers) const {
  const int64_t delay = highPass_.Spacing() * highPass_.Length();
  const Steps steps = StepsFor(record, from, to);
  const int64_t top = std::max(steps.state, steps.end);
  const int64_t base = steps.begin - 3 * delay;
  // Only the stretches the steps read are made.
  int16_t* input = FilterWorkspace::Room(buffers.input, top - base);
  int64_t made = base;  // the input before this is made
  for (const Range& stretch : InputStretches(steps)) {
    const int64_t first = std::max(stretch.from, made);
    if (first >= stretch.to) continue;
    suppressor_.Apply(raw + (first - suppressor_.HalfSupport() - rawStart), stretch.to - first, input + (first - base));
    made = std::max(made, stretch.to);
  }
  // The kept phases stand by recording position; the steps count them by place in `input`.
  SpacedHighPass::Running running;
  const int32_t spacing = highPass_.Spacing();
  for (int32_t p = 0; p < spacing; ++p) {
    const auto phase = static_cast<std::size_t>(((p + base) % spacing + spacing) % spacing);
    running.first[static_cast<std::size_t>(p)] = sums.first[phase];
    running.second[static_cast<std::size_t>(p)] = sums.second[phase];
    running.third[static_cast<std::size_t>(p)] = sums.third[phase];
  }
  const FirStage::Path path = FirStage::BestPath();
  if (steps.first < steps.state) highPass_.Retreat(path, input, steps.first - base, steps.state - base, running);
  int16_t* output = FilterWorkspace::Room(buffers.output, steps.end - steps.first);
  highPass_.Continue(path, input, steps.begin - base, steps.end - base, steps.first - base, running, output);
  // Output i of the high-pass is the step first + i's, centred on its half support before it.
  const int64_t outputAt = steps.first - highPass_.HalfSupport();
  for (const Range& range : only) {
    fir_.Apply(output + (range.from - fir_.HalfSupport() - outputAt), range.to - range.from, out + (range.from - from));
  }
}

}  // namespace skelvane

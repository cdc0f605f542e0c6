#include "filter/SpacedHighPassResume.h"

#include <algorithm>
#include <array>

#include "datafile/CscRecord.h"

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

int64_t SpacedHighPassResume::RawFrom(int64_t record) const {
  return ResumeAt(record) - 3 * highPass_.Spacing() * highPass_.Length() - suppressor_.HalfSupport();
}

int64_t SpacedHighPassResume::RawTo(int64_t to) const {
  const int64_t steps = to + fir_.HalfSupport() + FirStage::kReadPad + highPass_.HalfSupport();
  return steps + suppressor_.HalfSupport() + FirStage::kReadPad;
}

std::array<SpacedHighPassResume::Range, SpacedHighPassResume::kStretches> SpacedHighPassResume::InputStretches(
    int64_t record, int64_t to) const {
  const int64_t delay = highPass_.Spacing() * highPass_.Length();
  const int64_t half = highPass_.HalfSupport();
  const int64_t resume = ResumeAt(record);
  // The high-pass steps from the state on to the last output the FIR weighs (and the one past it it
  // reads); each step reads its input at the step, one, two and three window spans back, and at its
  // centre.
  const int64_t end = to + fir_.HalfSupport() + FirStage::kReadPad + half;
  std::array<Range, kStretches> stretches{{{resume - 3 * delay, end - 3 * delay},
                                           {resume - 2 * delay, end - 2 * delay},
                                           {resume - half, end - half},
                                           {resume - delay, end - delay},
                                           {resume, end}}};
  std::sort(stretches.begin(), stretches.end(), [](const Range& a, const Range& b) { return a.from < b.from; });
  return stretches;
}

std::array<SpacedHighPassResume::Range, SpacedHighPassResume::kStretches> SpacedHighPassResume::RawStretches(
    int64_t record, int64_t to) const {
  std::array<Range, kStretches> stretches = InputStretches(record, to);
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
  const int64_t resume = ResumeAt(record);
  const int64_t end = to + fir_.HalfSupport() + FirStage::kReadPad + highPass_.HalfSupport();
  const int64_t base = resume - 3 * delay;
  // Only the stretches the steps read are made.
  if (buffers.input.size() < static_cast<std::size_t>(end - base)) buffers.input.resize(static_cast<std::size_t>(end - base));
  int16_t* input = buffers.input.data();
  int64_t made = base;  // the input before this is made
  for (const Range& stretch : InputStretches(record, to)) {
    const int64_t first = std::max(stretch.from, made);
    if (first >= stretch.to) continue;
    suppressor_.Apply(raw + (first - suppressor_.HalfSupport() - rawStart), stretch.to - first, input + (first - base));
    made = stretch.to;
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
  if (buffers.output.size() < static_cast<std::size_t>(end - resume)) buffers.output.resize(static_cast<std::size_t>(end - resume));
  highPass_.Continue(FirStage::BestPath(), input, resume - base, end - base, resume - base, running, buffers.output.data());
  // Output i of the high-pass stands at record x 512 - the FIR's half support + i.
  for (const Range& range : only) {
    fir_.Apply(buffers.output.data() + (range.from - record * kSamplesPerRecord), range.to - range.from,
               out + (range.from - from));
  }
}

}  // namespace skelvane

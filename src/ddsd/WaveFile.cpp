#include "ddsd/WaveFile.h"

#include "common/DataFiles.h"

TWaveStep DescendWave(HMMIO file, TWaveLayout& layout) {
  layout = {};
  MMCKINFO riff{};
  riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
  if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return TWaveStep::NotWave;
  MMCKINFO chunk{};
  chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
  if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return TWaveStep::NoFmt;
  // The format holds 18 bytes: a longer chunk is read up to that and its rest skipped;
  // one shorter than the 16 bytes of plain PCM cannot describe a format.
  const LONG want = chunk.cksize < sizeof(WAVEFORMATEX) ? LONG(chunk.cksize) : LONG(sizeof(WAVEFORMATEX));
  if (chunk.cksize < 16 || mmioRead(file, reinterpret_cast<HPSTR>(&layout.format), want) != want) {
    layout.format = {};
    return TWaveStep::BadFmt;
  }
  mmioAscend(file, &chunk, 0);
  chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
  if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return TWaveStep::NoData;

  // A data chunk that claims more than the file holds is taken as far as the file
  // goes (a cut-off file plays what it has), so the buffer never outgrows the file.
  layout.claimed = chunk.cksize;
  layout.bytes = chunk.cksize;
  const LONG here = mmioSeek(file, 0, SEEK_CUR);
  const LONG end = mmioSeek(file, 0, SEEK_END);
  if (here < 0 || end < here || mmioSeek(file, here, SEEK_SET) != here) {
    layout.bytes = 0;
  } else if (DWORD(end - here) < layout.bytes) {
    layout.bytes = DWORD(end - here);
  }
  return TWaveStep::Found;
}

std::string DescribeWaveStep(TWaveStep step) {
  switch (step) {
    case TWaveStep::Found:
      return {};
    case TWaveStep::NotWave:
      return "is not a WAVE sound (no RIFF WAVE chunk at its start)";
    case TWaveStep::NoFmt:
      return "has no format (\"fmt \") chunk";
    case TWaveStep::BadFmt:
      return "has a format (\"fmt \") chunk that is too short";
    case TWaveStep::NoData:
      return "has no sound (\"data\") chunk";
  }
  return {};
}

TWaveProblem CheckWaveFile(const std::string& path, bool music) {
  if (std::string refused = data::ProbeProblem(path, music ? data::TDataKind::Music : data::TDataKind::Wave);
      !refused.empty()) {
    return {refused, false};
  }
  std::string name = path;  // mmioOpenA takes a writable name
  HMMIO file = mmioOpenA(name.data(), nullptr, MMIO_ALLOCBUF | MMIO_READ);
  if (!file) return {"cannot be opened", false};
  TWaveLayout layout;
  const TWaveStep step = DescendWave(file, layout);
  mmioClose(file, 0);
  if (step != TWaveStep::Found) return {DescribeWaveStep(step), false};
  const WAVEFORMATEX& f = layout.format;
  const bool pcm = f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
                   (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= DSBFREQUENCY_MIN &&
                   f.nSamplesPerSec <= DSBFREQUENCY_MAX && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
  if (!pcm) {
    return {"is not plain PCM sound the sound device can play (format " + std::to_string(f.wFormatTag) + ", " +
                std::to_string(f.nChannels) + " channels, " + std::to_string(f.wBitsPerSample) + " bits, " +
                std::to_string(f.nSamplesPerSec) + " samples a second)",
            false};
  }
  if (layout.bytes < DSBSIZE_MIN || layout.bytes < f.nBlockAlign) {
    return {"holds no sound (" + std::to_string(layout.bytes) + " bytes of sound data)", false};
  }
  if (layout.bytes < layout.claimed) {
    return {"is cut short: its sound data should be " + std::to_string(layout.claimed) + " bytes, the file holds " +
                std::to_string(layout.bytes),
            true};
  }
  return {};
}

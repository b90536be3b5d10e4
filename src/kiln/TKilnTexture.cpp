#include "kiln/TKilnTexture.h"

#include <algorithm>
#include <bit>

#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/rtl/SysUtils.h"

std::vector<std::string> SplitTextureFormats(const std::string& formats) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= formats.size()) {
    size_t end = formats.find(';', start);
    if (end == std::string::npos) end = formats.size();
    std::string piece = formats.substr(start, end - start);
    const size_t first = piece.find_first_not_of(" \t");
    if (first != std::string::npos) {
      const size_t last = piece.find_last_not_of(" \t");
      names.push_back(piece.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return names;
}

namespace {

int Digit(char c) {
  if (c < '0' || c > '9') throw rtl::EConvertError(std::string("'") + c + "' is not a valid integer value");
  return c - '0';
}

int Bits(DWORD mask) { return std::popcount(mask); }

}  // namespace

bool TextureFormatMatches(const std::string& name, const DDPIXELFORMAT& f) {
  if (name == "PAL8") return (f.dwFlags & DDPF_PALETTEINDEXED8) != 0;
  if (size_t p = name.find("ARGB"); p != std::string::npos && name.size() - (p + 4) == 4) {
    const char* d = name.c_str() + p + 4;
    return Bits(f.dwRGBAlphaBitMask) == Digit(d[0]) && Bits(f.dwRBitMask) == Digit(d[1]) &&
           Bits(f.dwGBitMask) == Digit(d[2]) && Bits(f.dwBBitMask) == Digit(d[3]);
  }
  // "ARGB" names of the wrong length fall through here and read "RGB" plus what follows it.
  if (size_t p = name.find("RGB"); p != std::string::npos && name.size() - (p + 3) == 3) {
    const char* d = name.c_str() + p + 3;
    return Bits(f.dwRBitMask) == Digit(d[0]) && Bits(f.dwGBitMask) == Digit(d[1]) && Bits(f.dwBBitMask) == Digit(d[2]);
  }
  return false;
}

int TKilnTextureRegistry::Add(TKiln* device, TKilnTexture* texture) {
  keepers_.push_back(std::make_unique<TKilnTextureKeeper>(device, texture));
  return Count() - 1;
}

int TKilnTextureRegistry::Remove(TKilnTexture* texture) {
  for (size_t i = 0; i < keepers_.size(); ++i) {
    if (keepers_[i]->Texture == texture) {
      keepers_.erase(keepers_.begin() + static_cast<std::ptrdiff_t>(i));
      return static_cast<int>(i);
    }
  }
  return -1;
}

void TKilnTextureRegistry::ReleaseAll() {
  for (int i = 0; i < Count(); ++i) {
    KilnDetailLog(rtl::Format("DirectDrawオブジェクトの解放に伴い、%d番のテクスチャを解放します", i));
    Texture(i)->ReleaseSurface();
  }
}

void TKilnTextureRegistry::RebuildAll() {
  for (int i = 0; i < Count(); ++i) {
    KilnDetailLog(rtl::Format("%d番のテクスチャを再構築します", i));
    TKilnTexture* t = Texture(i);
    t->BuildTexture(t->Width, t->Height, t->Formats, t->ColorKey);
    t->ReloadImage();
  }
}

void TKilnTextureRegistry::DetachAll() {
  for (auto& keeper : keepers_) keeper->Texture->Device = nullptr;
  keepers_.clear();
}

void TKilnTextureRegistry::RestoreAll() {
  for (int i = 0; i < Count(); ++i) {
    TKilnTexture* t = Texture(i);
    if (t->IsLost()) t->Restore();
    t->ReloadImage();
  }
}

TKilnTexture::TKilnTexture(TKiln* device, int width, int height, DWORD colorKey, const std::string& formats)
    : TKilnGenSurface(device, width, height, nullptr), Formats(formats) {
  BuildTexture(width, height, formats, colorKey);
  if (!device) return;
  const int index = device->Textures.Add(device, this);
  KilnDetailLog(rtl::Format("テクスチャリストの%d番に追加しました", index));
}

TKilnTexture::~TKilnTexture() {
  // Destructors must not throw: a failed check here (or a halt) is logged and ends here.
  try {
    if (Surface) {
      const ULONG remaining = Surface->Release();
      Surface = nullptr;
      KilnCheck(static_cast<HRESULT>(remaining), "テクスチャの解放に失敗しました");
    }
    const int index = Device ? Device->Textures.Remove(this) : -1;
    if (index >= 0) KilnDetailLog(rtl::Format("テクスチャリストの%d番が解放されました", index));
  } catch (...) {
  }
}

namespace {

struct FormatChoice {
  const std::vector<std::string>* names;
  int best = -1;
  DDPIXELFORMAT chosen{};
};

HRESULT ChooseFormat(DDPIXELFORMAT* f, void* context) {
  auto* choice = static_cast<FormatChoice*>(context);
  if (f->dwFlags & (DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV | DDPF_FOURCC)) return D3DENUMRET_OK;
  KilnDetailLog(rtl::Format("列挙されたテクスチャフォーマット...BitCount=%d Mask=(%.8x,%.8x,%.8x,%.8x)",
                            static_cast<int>(f->dwRGBBitCount), static_cast<unsigned>(f->dwRGBAlphaBitMask),
                            static_cast<unsigned>(f->dwRBitMask), static_cast<unsigned>(f->dwGBitMask),
                            static_cast<unsigned>(f->dwBBitMask)));
  const auto& names = *choice->names;
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    if (TextureFormatMatches(names[static_cast<size_t>(i)], *f) && (choice->best == -1 || i < choice->best)) {
      choice->best = i;
      choice->chosen = *f;
      KilnDetailLog("第" + std::to_string(i + 1) + "希望 : " + names[static_cast<size_t>(i)] + " に合致");
    }
  }
  return choice->best == 0 ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
}

}  // namespace

void TKilnTexture::BuildTexture(int width, int height, const std::string& formats, DWORD colorKey) {
  // A texture whose component is gone keeps its size and formats but gets no surface.
  if (!Device) return;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_TEXTURESTAGE;
  desc.dwWidth = static_cast<DWORD>(width);
  desc.dwHeight = static_cast<DWORD>(height);
  desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | (Device->HardwareAccelerated ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
  if (!formats.empty()) {
    desc.dwFlags |= DDSD_PIXELFORMAT;
    const std::vector<std::string> names = SplitTextureFormats(formats);
    FormatChoice choice{&names};
    if (Device->D3DDevice) Device->D3DDevice->EnumTextureFormats(ChooseFormat, &choice);
    if (choice.best < 0) {
      desc.dwFlags &= ~DDSD_PIXELFORMAT;
      KilnDetailLog("希望のテクスチャフォーマットが見つかりませんでした。デフォルトのフォーマットを使用します");
    } else {
      desc.ddpfPixelFormat = choice.chosen;
    }
  }
  KilnDetailLog(Device->HardwareAccelerated ? "テクスチャをビデオメモリに配置します"
                                            : "テクスチャをシステムメモリに配置します");
  IDirectDrawSurface7* surface = nullptr;
  HRESULT hr = Device->DirectDraw ? Device->DirectDraw->CreateSurface(&desc, &surface, nullptr) : E_POINTER;
  KilnCheck(hr, "テクスチャ用サーフェスを作れませんでした");
  Surface = SUCCEEDED(hr) ? surface : nullptr;
  if (Surface) {
    DDCOLORKEY key{colorKey, colorKey};
    Surface->SetColorKey(DDCKEY_SRCBLT, &key);
    UpdateDesc(Desc);
  }
  Width = width;
  Height = height;
  ColorKey = colorKey;
  Bounds = RECT{0, 0, width, height};
  AnalyzePixelFormat(Desc.ddpfPixelFormat);
}

void TKilnTexture::LoadFromFile(const std::string& fileName) {
  SourceFile = fileName;
  FromArchive = false;
  TKilnGenSurface::LoadFromFile(fileName);
}

void TKilnTexture::LoadFromArchive(const std::string& archiveFileName, const std::string& id) {
  SourceArchive = archiveFileName;
  SourceID = id;
  FromArchive = true;
  TKilnGenSurface::LoadFromArchive(archiveFileName, id);
}

void TKilnTexture::ReloadImage() {
  if (FromArchive) {
    if (!SourceArchive.empty()) LoadFromArchive(SourceArchive, SourceID);
  } else if (!SourceFile.empty()) {
    LoadFromFile(SourceFile);
  }
}

void TKilnTexture::ReleaseSurface() {
  if (Surface) Surface->Release();
  Surface = nullptr;
}

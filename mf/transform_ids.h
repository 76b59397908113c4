// The names under which Media Foundation finds the VOXA decoder: its class,
// the subtype of VOXA video (the FourCC in the base GUID of such subtypes,
// as for every FourCC format) and the name it is registered with.
#pragma once

#include <windows.h>

namespace voxa::mf {

// {1B2A84A1-75B1-45B1-A68E-8DA858EBD088}
constexpr CLSID kDecoderClsid = {
    0x1b2a84a1, 0x75b1, 0x45b1, {0xa6, 0x8e, 0x8d, 0xa8, 0x58, 0xeb, 0xd0, 0x88}};

constexpr DWORD kVoxaFourcc = 0x41584f56;  // 'V' 'O' 'X' 'A', first byte lowest
// {41584F56-0000-0010-8000-00AA00389B71}
constexpr GUID kVoxaSubtype = {
    kVoxaFourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr wchar_t kDecoderName[] = L"VOXA decoder (Y16 + Alpha RLE)";

}  // namespace voxa::mf

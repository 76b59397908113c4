// The class object DllGetClassObject hands out: it makes decoder transforms.
// One static object for the DLL; its references and LockServer keep the DLL
// loaded as the transforms do.
#pragma once

#include <windows.h>

namespace voxa::mf {

IClassFactory* DecoderClassFactory();

}  // namespace voxa::mf

#pragma once

// Texts the wizard shows in more than one place.
inline constexpr wchar_t kInformationTitle[] = L"Información";
inline constexpr wchar_t kDownloadErrorTitle[] = L"Informação";
inline constexpr wchar_t kDownloadErrorText[] =
    L"Se ha producido un error al descargar el subtítulo. Por favor, inténtelo de nuevo.";

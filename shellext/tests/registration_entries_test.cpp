#include "registration_entries.h"

#include <gtest/gtest.h>

TEST(RegistrationValues, ExactlyTheFourValuesInWritingOrder) {
  const std::wstring classId = kCorvelleClassIdText;
  const auto values = RegistrationValues(classId, L"C:\\Apps\\X\\Corvelle.dll");
  ASSERT_EQ(values.size(), 4u);
  const wchar_t* serverKey = L"CLSID\\{236F17A4-A013-41A6-AF17-02BF3991F75C}\\InprocServer32";
  EXPECT_EQ(values[0].key, L"CLSID\\{236F17A4-A013-41A6-AF17-02BF3991F75C}");
  EXPECT_EQ(values[0].name, L"");
  EXPECT_EQ(values[0].data, L"Corvelle.Corvelle Class");
  EXPECT_EQ(values[1].key, serverKey);
  EXPECT_EQ(values[1].name, L"");
  EXPECT_EQ(values[1].data, L"C:\\Apps\\X\\Corvelle.dll");
  EXPECT_EQ(values[2].key, serverKey);
  EXPECT_EQ(values[2].name, L"ThreadingModel");
  EXPECT_EQ(values[2].data, L"Apartment");
  EXPECT_EQ(values[3].key,
            L"*\\shellex\\ContextMenuHandlers\\{236F17A4-A013-41A6-AF17-02BF3991F75C}");
  EXPECT_EQ(values[3].name, L"");
  EXPECT_EQ(values[3].data, L"Corvelle.Corvelle");
}

TEST(UnregistrationKeys, ClassKeyFirstThenHandlerKey) {
  EXPECT_EQ(UnregistrationKeys(kCorvelleClassIdText),
            (std::vector<std::wstring>{
                L"CLSID\\{236F17A4-A013-41A6-AF17-02BF3991F75C}",
                L"*\\shellex\\ContextMenuHandlers\\{236F17A4-A013-41A6-AF17-02BF3991F75C}"}));
}

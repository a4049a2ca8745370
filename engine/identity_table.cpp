#include "engine/identity_table.h"

#include <array>

namespace flintcast::engine {
namespace {

using V = IdentityValue;

constexpr std::array<IdentityField, kIdentityValueCount> kFields = {{
    {V::SerialNumber, "AT+ZRVSN=0,5\r\n\r\n", "bSN", "SN", "AT+ZRVSN=1,5,", 0, true},
    {V::Esn, "AT+ZRVSN=0,8\r\n", "ESN", "ESN", "AT+ZRVSN=1,8,", 11, true},
    {V::Imei, "AT+ZRVSN=0,7\r\n\r\n", "bIMEI", "IMEI", "AT+ZRVSN=1,7,", 1, true},
    {V::Imei1, "AT+ZRVSN=0,6\r\n\r\n", "bIMEI_1", "IMEI_1", "AT+ZRVSN=1,6,", 14, true},
    {V::Meid, "AT+ZRVSN=0,9\r\n", "bMEID", "MEID", "AT+ZRVSN=1,9,", 111, true},
    {V::Bluetooth, "AT+ZRVSN=0,10\r\n\r\n", "bBLUETOOTH", "BLUETOOTHADDR", "AT+ZRVSN=1,10,", 6, true},
    {V::WifiCal, "AT+WIFICAL?\r\n", "bWifiCal", "WifiCal", "AT+WIFICAL=", 17, true},
    {V::SalesCount, "AT+ZRVSN=0,11\r\n\r\n", "bSalesCount", "SalesCount", "AT+ZRVSN=1,11,", 15, true},
    {V::SalesInfo, "AT+ZRVSN=0,12\r\n\r\n", "bSalesInfo", "SalesInfo", "AT+ZRVSN=1,12,", 16, true},
    {V::TestInfo, "AT+TESTINF2=?\r\n\r\n", "bTESTINF", "TESTINF", "AT+TESTINF2=", 2, true},
    {V::Uit87, "AT+CUIT87?\r\n", "bUIT87", "UIT87", "AT+CUIT87=", 12, false},
    {V::Uit89, "AT+CUIT89?\r\n", "bUIT89", "UIT89", "AT+CUIT89=", 13, false},
    {V::Cllen, "AT+CLLEN?\r\n\r\n", "", "CLLEN", "AT+CLLEN=", 7, false},
    {V::Zrreq, "AT+ZRREQ?\r\n\r\n", "", "ZRREQ", "AT+ZRREQ=", 8, false},
    {V::Gmi, "AT+GMI\r\n\r\n", "", "GMI", "AT+GMI=", 9, true},
}};

}  // namespace

std::span<const IdentityField> IdentityFields() { return kFields; }

const IdentityField& FieldOf(IdentityValue value) { return kFields[static_cast<size_t>(value)]; }

}  // namespace flintcast::engine

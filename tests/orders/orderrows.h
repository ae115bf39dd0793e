#pragma once

class DbFixture;

// An order of store as the service leaves it: customer Ana with an address
// and a card brand, and lines in pairs of one product (two flavours of a
// pizza) followed by a drink; lines 3 gives the pizza and one drink.
// Returns the order number.
int insertFullOrder(DbFixture &db, int store, int status, int lines = 3);

#!/usr/bin/python3
"""Writes the demo workbooks of samples/ (run from the repository's top):
sales.xlsx (orders with dates, amounts and currency; customers with ZIP
codes kept as text), inventory.xls (the same kind of data as an .xls) and
timesheet.xlsx (times of day, booleans and a long note)."""
import datetime
import os

import openpyxl
import xlwt

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples")

wb = openpyxl.Workbook()
orders = wb.active
orders.title = "Orders"
orders.append(["Order", "Customer", "Date", "Amount", "Paid"])
for i in range(1, 41):
    orders.append([1000 + i, "C%03d" % (i % 7 + 1), datetime.datetime(2024, 1, 1) + datetime.timedelta(days=i * 3, hours=i % 9),
                   round(19.99 * i, 2), i % 3 != 0])
for row in orders.iter_rows(min_row=2, min_col=3, max_col=3):
    row[0].number_format = "yyyy-mm-dd hh:mm"
for row in orders.iter_rows(min_row=2, min_col=4, max_col=4):
    row[0].number_format = '"$"#,##0.00'
customers = wb.create_sheet("Customers")
customers.append(["Id", "Name", "City", "Zip"])
cities = [("Boston", "02108"), ("Newark", "07102"), ("Austin", "78701"), ("Denver", "80202"),
          ("Portland", "04101"), ("Hartford", "06103"), ("Seattle", "98101")]
for i, (city, zipcode) in enumerate(cities, start=1):
    customers.append(["C%03d" % i, "Customer %d" % i, city, zipcode])
wb.save(os.path.join(out, "sales.xlsx"))

book = xlwt.Workbook()
items = book.add_sheet("Items")
date_style = xlwt.easyxf(num_format_str="yyyy-mm-dd")
for c, h in enumerate(["Sku", "Description", "Stock", "Price", "Checked"]):
    items.write(0, c, h)
for r in range(1, 26):
    items.write(r, 0, "SKU-%04d" % r)
    items.write(r, 1, "Item number %d" % r)
    items.write(r, 2, r * 13 % 97)
    items.write(r, 3, r * 1.75)
    items.write(r, 4, datetime.date(2024, 3, 1) + datetime.timedelta(days=r), date_style)
book.save(os.path.join(out, "inventory.xls"))

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Week 12"
ws.append(["Person", "Start", "End", "Remote", "Note"])
for i, person in enumerate(["Ana", "Bo", "Chen", "Dara"]):
    ws.append([person, datetime.time(8 + i, 30), datetime.time(16 + i, 45), i % 2 == 0,
               "A long note. " * (25 if i == 0 else 1)])
for col in (2, 3):
    for row in ws.iter_rows(min_row=2, min_col=col, max_col=col):
        row[0].number_format = "hh:mm"
wb.save(os.path.join(out, "timesheet.xlsx"))

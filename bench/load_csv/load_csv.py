"""Times tessrun against freebcp loading the same CSV file into tds_test_server.

Usage: load_csv.py TESSRUN TDS_TEST_SERVER ROWS...   (run through load_csv.sh, which builds both)

For each size: generates the file, starts one server, then loads the file
  - with tessrun, type refinement on (table refined),
  - with tessrun --no_refine (table plain),
  - with freebcp -c into a table created with the columns tessrun created (table bcp),
checks each table's row count, and prints wall time, rows per second, the ratio to freebcp and the
peak resident memory of each process (from wait4).
"""
import os
import subprocess
import sys
import tempfile
import time

PASSWORD = "Tessaly!2026"
HERE = os.path.dirname(os.path.abspath(__file__))


def measured(argv, env=None):
    """Runs argv; returns (seconds, peak RSS in MiB, stdout+stderr text, exit status)."""
    with tempfile.TemporaryFile() as out:
        start = time.monotonic()
        child = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, env=env)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        return seconds, usage.ru_maxrss / 1024.0, out.read().decode("utf-8", "replace"), child.returncode


class server:
    def __init__(self, path, folder):
        self.process = subprocess.Popen([path, "--port", "0"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.port = int(self.process.stdout.readline().decode().strip())
        # freebcp and tsql read their settings from this file: TDS 7.4 and UTF-8 on the client
        # side, so that the generated names reach nvarchar columns unchanged.
        self.conf = os.path.join(folder, "freetds.conf")
        with open(self.conf, "w") as f:
            f.write("[global]\n\ttds version = 7.4\n\tclient charset = UTF-8\n")
        self.env = dict(os.environ, FREETDSCONF=self.conf, LC_ALL="C.UTF-8")

    def stop(self):
        self.process.terminate()
        self.process.wait()

    def query(self, sql):
        """Rows of a query through tsql, tab-separated, header line dropped."""
        result = subprocess.run(
            ["tsql", "-H", "127.0.0.1", "-p", str(self.port), "-U", "sa", "-P", PASSWORD,
             "-D", "bench", "-o", "q"],
            input=(sql + "\ngo\n").encode(), capture_output=True, env=self.env, check=True)
        # The first line holds the column names (empty for an unnamed column).
        lines = result.stdout.decode("utf-8", "replace").splitlines()[1:]
        return [l.split("\t") for l in lines if l.strip()]

    def count(self, table):
        return int(self.query(f"SELECT COUNT(*) FROM [{table}]")[0][0])


def bench_size(tessrun, server_path, rows, folder):
    csv = os.path.join(folder, f"rows-{rows}.csv")
    with open(csv, "wb") as f:
        subprocess.run([sys.executable, os.path.join(HERE, "make_csv.py"), str(rows)], stdout=f,
                       check=True)
    size_mb = os.path.getsize(csv) / 1e6
    print(f"\n{rows:,} rows x 10 columns, {size_mb:.1f} MB")

    srv = server(server_path, folder)
    try:
        results = {}
        for label, table, extra in (("tessrun", "refined", []),
                                    ("tessrun --no_refine", "plain", ["--no_refine"])):
            argv = [tessrun, "--from_csv", f"--src={csv}", "--csv_delim=2", "--extr_fn",
                    f"--tab_name={table}", "--dest=bench", f"--host=127.0.0.1:{srv.port}",
                    "--user=sa", f"--pswd={PASSWORD}", "--silent"]
            seconds, rss, out, status = measured(argv + extra, srv.env)
            if status != 0 or out.strip():
                sys.exit(f"{label} failed ({status}): {out[:2000]}")
            results[label] = (seconds, rss, srv.count(table))

        # freebcp gets a table of the columns tessrun created, so both write the same bytes.
        columns = srv.query("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH FROM "
                            "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'plain' "
                            "ORDER BY ORDINAL_POSITION")
        spec = ", ".join(
            f"[{name}] {kind}" + ("(max)" if length == "-1" else f"({length})" if length not in
                                  ("", "NULL") else "") + " NULL"
            for name, kind, length in columns)
        srv.query(f"CREATE TABLE [bcp] ({spec})")
        typed = srv.query("SELECT COLUMN_NAME, DATA_TYPE FROM INFORMATION_SCHEMA.COLUMNS WHERE "
                          "TABLE_NAME = N'refined' ORDER BY ORDINAL_POSITION")
        seconds, rss, out, status = measured(
            ["freebcp", "bench.dbo.bcp", "in", csv, "-c", "-t", ",", "-r", "\\n", "-F", "2",
             "-b", "1000", "-S", f"127.0.0.1:{srv.port}", "-U", "sa", "-P", PASSWORD], srv.env)
        if status != 0:
            sys.exit(f"freebcp failed ({status}): {out[:2000]}")
        results["freebcp"] = (seconds, rss, srv.count("bcp"))
    finally:
        srv.stop()
        os.remove(csv)

    print(f"columns as created: {spec}")
    print("typed columns (refinement on): " + ", ".join(f"{name} {kind}" for name, kind in typed))
    bcp_seconds = results["freebcp"][0]
    print(f"{'loader':<22}{'rows landed':>12}{'seconds':>10}{'rows/s':>12}{'vs freebcp':>12}"
          f"{'peak RSS':>12}")
    for label, (seconds, rss, landed) in results.items():
        flag = "" if landed == rows else "  <- rows missing"
        print(f"{label:<22}{landed:>12,}{seconds:>10.2f}{rows / seconds:>12,.0f}"
              f"{seconds / bcp_seconds:>11.2f}x{rss:>9.1f} MiB{flag}")
    # Typing reads the file twice; the first pass must cost well under the load.
    typed_seconds, untyped_seconds = results["tessrun"][0], results["tessrun --no_refine"][0]
    print(f"typed {typed_seconds:.2f} s vs untyped {untyped_seconds:.2f} s: "
          f"{typed_seconds / untyped_seconds:.2f}x (target at most 1.25x)")
    return results


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    tessrun, server_path = sys.argv[1], sys.argv[2]
    sizes = [int(a) for a in sys.argv[3:]]
    with tempfile.TemporaryDirectory() as folder:
        all_results = {rows: bench_size(tessrun, server_path, rows, folder) for rows in sizes}
    if len(sizes) > 1:
        print("\npeak RSS by size (memory must not grow with the file):")
        for label in ("tessrun", "tessrun --no_refine"):
            figures = ", ".join(f"{rows:,} rows {all_results[rows][label][1]:.1f} MiB"
                                for rows in sizes)
            print(f"  {label}: {figures}")


if __name__ == "__main__":
    main()

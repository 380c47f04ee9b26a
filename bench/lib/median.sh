# Sourced by the bench scripts.

# median [FORMAT]: the median of the numbers on standard input, one a line, printed with awk's
# printf FORMAT (default "%.6f\n").
median() {
    sort -g | awk -v format="${1:-%.6f\n}" \
        '{ v[NR] = $1 } END { printf format, NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

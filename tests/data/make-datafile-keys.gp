\\ Writes datafile-keys.tsv, class numbers of discriminant keys for the check
\\ of the committed discriminant tables:
\\   gp -q make-datafile-keys.gp > datafile-keys.tsv
\\ Rows (tab-separated): d h g, for keys d whose discriminant -D (D = d when
\\ d = 3 mod 4, else 4d) is fundamental; h = class number, g = 2^(t-1) with t
\\ the number of prime discriminant factors of -D.
\\ Every key below 3000, then random keys below 2^25: uniform ones, and
\\ multiples of 1155 (many genera, so more of them have h/g <= 80).
setrand(20261207);
keyD(d) = if (d % 4 == 3, d, 4 * d);
row(d) = {
  my(D = keyD(d));
  if (!isfundamental(-D), return(0));
  print(d, "\t", quadclassunit(-D).no, "\t", 2^(omega(D) - 1));
  1;
}
for (d = 1, 2999, row(d));
n = 0; while (n < 1500, n += row(3000 + random(2^25 - 3000)));
n = 0; while (n < 1500, n += row(1155 * (1 + random(2^25 \ 1155 - 1))));

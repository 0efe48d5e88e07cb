\\ Writes classpolys.tsv, the rows against which the class polynomial tests
\\ check every invariant code:
\\   gp -q classpolys.gp > classpolys.tsv
\\ Rows (tab-separated, hexadecimal upper case where marked):
\\   P m level code D h N roots
\\   S E h g gf
\\ m: the key (discriminant -m when m = 3 (mod 4), else -4m); code: the
\\ invariant chosen for m at that level; D: the discriminant of the order
\\ whose polclass the invariant's values lead to; N: a prime (hexadecimal)
\\ with 4N = x^2 + |D| y^2, so that it splits completely in the ring class
\\ field; roots: the h roots of polclass(D) modulo N (hexadecimal).
\\ S rows, for the key E (discriminant -D' with D' = 4E when E mod 4 is 1 or
\\ 2, else E): h, the number of reduced forms of discriminant -D', primitive
\\ or not, counting a form and its twin (a, -b, c) apart; g = 2^(t-1) for the
\\ t primes dividing D' (1 when t < 2), or - when an odd square divides D';
\\ gf: g for a fundamental -D', 0 when E = 0 (mod 16) or an odd square
\\ divides D'.
default(parisizemax, 1000000000);
setrand(20261207);
\\ The invariant rule, written out independently of the code under test.
choose(m, level) = {
  my(k = if (m % 4 == 0, m / 4, m), r = k % 8, d = if (k % 4 == 1 || k % 4 == 2, 4 * k, k),
     by3 = k % 3 == 0, r126 = r == 1 || r == 2 || r == 6);
  if (setsearch([1, 2, 3, 7, 11, 19, 43, 67, 163], k), return(0));
  if (!by3 && r == 7, return(-1)); if (!by3 && r126, return(-2));
  if (by3 && r == 7, return(-3)); if (!by3 && r == 5, return(-4));
  if (!by3 && k % 5 == 0, return(15)); if (k % 13 == 0, return(13));
  if (level >= 4 && !by3 && k % 17 == 0, return(51));
  if (level >= 3 && k % 37 == 0, return(37));
  if (by3 && (d / 3) % 12 == 4, return(9)); if (by3 && r126, return(-6));
  if (k % 7 == 0, return(7)); if (level >= 3 && k % 19 == 0, return(19));
  if (k % 5 == 0, return(5)); if (by3 && r == 5, return(-12));
  if (level >= 4 && k % 17 == 0, return(17));
  if (by3, return(3)); if (r == 3, 2, 0);
}
hex(n) = { my(s = "", d = "0123456789ABCDEF", n = lift(n));
  if (n == 0, return("0"));
  while (n > 0, s = concat(Strchr(Vecsmall(d)[n % 16 + 1]), s); n \= 16); s; }
splitprime(D) = {
  for (i = 1, 10^6, my(x = random(2^34), y = 1 + random(2^10), q = x^2 - D*y^2);
    if (q % 4 == 0 && q / 4 > 2^64 && isprime(q / 4), return(q / 4)));
}
row(m, level, code) = {
  my(D = if (code < 0 || m % 4 != 3, -4*m, -m), h = qfbclassno(D), N = splitprime(D), r);
  r = polrootsmod(polclass(D), N);
  if (#r != h, error("polclass(", D, ") does not split modulo ", N));
  print1("P\t", m, "\t", level, "\t", code, "\t", D, "\t", h, "\t", hex(N), "\t");
  for (i = 1, #r, print1(hex(r[i]), if (i < #r, ",", "")));
  print();
}
\\ Reduced forms by brute force: |b| <= a <= c, b >= 0 when |b| = a or a = c.
allforms(d) = {
  my(n = 0);
  for (a = 1, sqrtint(d \ 3) + 1, for (b = -a + 1, a, my(c4 = b^2 + d);
    if (c4 % (4*a) == 0 && c4 / (4*a) >= a && !(a == c4 / (4*a) && b < 0), n++)));
  n;
}
oddsquarefree(d) = issquarefree(d >> valuation(d, 2));
stats(e) = {
  my(d = if (e % 4 == 1 || e % 4 == 2, 4*e, e), t = omega(d), g = if (t < 2, 1, 2^(t-1)));
  print("S\t", e, "\t", allforms(d), "\t", if (oddsquarefree(d), g, "-"), "\t",
        if (e % 16 == 0 || !oddsquarefree(d), 0, g));
}
print("# P m\tlevel\tcode\tD\th\tN\troots of polclass(D) mod N");
print("# S E\th\tg\tgf");
\\ One larger key per code (h from 64 to 96), those of the fingerprint table.
{
  foreach ([3029, 3041, 3071, 3489, 3741, 3846, 4479, 4605, 4641, 5106, 6405, 9861, 12011,
            15011, 16715, 23019, 44931], m, row(m, 4, choose(m, 4)));
}
for (e = 1, 400, stats(e));
foreach ([4849845, 9699690, 30030, 1000003, 2^20 + 7], e, stats(e));
{
  my(counts = Map(), special = 0);
  forstep (m = 5, 6000, 1,
    if (m % 4 == 0 || !issquarefree(m), next);
    my(D = if (m % 4 == 3, -m, -4*m), h = qfbclassno(D));
    if (h > 48, next);
    foreach ([4, 3, 1], level,
      my(code = choose(m, level), n = 0);
      if (code == 0, next);
      \\ Keys m = 3 (mod 8) with 3 | m get rows at every level.
      if (m % 8 == 3 && m % 3 == 0 && special < 24, special++; row(m, level, code); next);
      if (mapisdefined(counts, code, &n) && n >= 22, next);
      if (level < 4 && choose(m, 4) == code, next);
      mapput(counts, code, n + 1);
      row(m, level, code)));
}

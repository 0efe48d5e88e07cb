\\ Makes invariants.tsv: for each invariant code, a genuine class-invariant
\\ value for a discriminant D (computed at high precision, its minimal
\\ polynomial found by algdep), reduced modulo a prime N that splits
\\ completely in the ring class field, with polclass(D) modulo N.
\\ Run: gp -q invariants.gp > invariants.tsv
default(parisizemax, 2000000000);
default(realprecision, 400);
setrand(20261206);

\\ The eta quotient (eta(t)/eta(p t))^s at t = (b + sqrt(D))/(2p), m | b, and j(p t).
etaq(D, p, m, s) = {
  my(b = 0, t);
  while (b < 8*m*p && (b^2 - D) % (4*p) != 0, b += m);
  t = (b + sqrt(D)) / (2*p);
  [(eta(t, 1) / eta(p*t, 1))^s, ellj(p*t)];
}
\\ Weber f(sqrt(-m)) to the power, times the code's factor, cubed when 3 | m.
weberx(m, power, factor) = {
  my(t = sqrt(-m), x = weber(t)^power * factor);
  if (m % 3 == 0, x = x^3);
  [x, ellj(t)];
}
minimal(x, h) = {
  for (k = 1, 8, my(m = algdep(x, k*h));
    if (poldegree(m) > 0 && abs(subst(m, 'x, x)) < 10^-300 && polisirreducible(m), return(m)));
  error("no minimal polynomial");
}
hex(n) = { my(s = "", d = "0123456789ABCDEF", n = lift(n));
  if (n == 0, return("0"));
  while (n > 0, s = concat(Strchr(Vecsmall(d)[n % 16 + 1]), s); n \= 16); s; }
splitprime(D) = {
  for (i = 1, 10^6, my(t = random(2^64), v = 1 + random(100), q = t^2 - D*v^2);
    if (q % 4 == 0 && ispseudoprime(q / 4) && q / 4 > 2^120, return(q / 4)));
}
row(code, negate, D, xj) = {
  my(h = qfbclassno(D), m = minimal(xj[1], h), N = splitprime(D), P = polclass(D), r, c);
  r = polrootsmod(m, N);
  if (#r == 0, error("minimal polynomial without root"));
  c = Vecrev(P * Mod(1, N));
  print1(code, "\t", negate, "\t", D, "\t", hex(N), "\t", hex(r[1]), "\t");
  for (i = 1, #c, print1(hex(c[i]), if (i < #c, ",", "")));
  print();
}
\\ The j value a formula code gives, to check the rows before writing them.
formula(code, x) = {
  if (code == 3, (x + 3)^3 * (x + 27) / x,
      code == 5, (x^2 + 10*x + 5)^3 / x,
      code == 7, (x^2 + 5*x + 1)^3 * (x^2 + 13*x + 49) / x,
      code == 13, (x^4 + 7*x^3 + 20*x^2 + 19*x + 1)^3 * (x^2 + 5*x + 13) / x);
}
check(ok, what) = if (!ok, error(what));
print("# code\tnegate\tD\tN\tx\tpolclass(D) mod N, constant first (hexadecimal)");
{
  foreach ([[3, -15, 3, 12], [5, -20, 5, 6], [7, -35, 7, 4], [13, -91, 13, 2]], e,
    my(v = etaq(e[2], e[3], e[3], e[4]));
    check(abs(formula(e[1], v[1]) - v[2]) < 10^-200, "formula");
    row(e[1], 0, e[2], v));
  \\ 9, 15, 51: the cube is the level-3, 5, 17 value.
  foreach ([[9, -48, 3, 9, 4], [15, -20, 5, 15, 2], [51, -68, 17, 51, 2],
            [17, -136, 17, 17, 6], [19, -152, 19, 19, 4], [37, -148, 37, 37, 2]], e,
    my(v = etaq(e[2], e[3], e[4], e[5]));
    row(e[1], 0, e[2], v));
  my(j = ellj((1 + sqrt(-59)) / 2));
  row(2, 0, -59, [sign(real(j)) * abs(j)^(1/3) / 32, j]);
  \\ Weber: (code, m, power, factor, k, s) with y = x^k 2^s = f^24; negate
  \\ when the relation needs y = -f^24.
  foreach ([[-1, 23, 1, sqrt(2)/2, 24, 12], [-3, 15, 1, sqrt(2)/2, 8, 12],
            [-2, 17, 2, sqrt(2)/2, 12, 6], [-6, 33, 2, sqrt(2)/2, 4, 6],
            [-4, 5, 4, 1/2, 6, 6], [-12, 21, 4, 1/2, 2, 6]], e,
    my(v = weberx(e[2], e[3], e[4]), y = v[1]^e[5] * 2^e[6], negate);
    negate = abs((y + 16)^3 / y - v[2]) > 10^-100;
    if (negate, y = -y);
    check(abs((y + 16)^3 / y - v[2]) < 10^-100, "weber");
    row(e[1], negate, -4*e[2], v));
}
